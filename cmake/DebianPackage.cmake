# vidtag-cli as a Debian package: `cpack -G DEB` in the build folder makes
# vidtag-cli_VERSION_ARCH.deb with the program, its manual page, its bash completion, and the
# README and LICENSE in the package's documentation folder.
include(GNUInstallDirs)

set(man_page ${CMAKE_CURRENT_BINARY_DIR}/vidtag-cli.1.gz)
# -n leaves the name and time out of the archive, so that the same page makes the same bytes.
add_custom_command(OUTPUT ${man_page}
  COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/docs/vidtag-cli.1 > ${man_page}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/vidtag-cli.1 VERBATIM)
add_custom_target(vidtag-cli-man ALL DEPENDS ${man_page})

install(TARGETS vidtag-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/src/cli/vidtag-cli.bash-completion
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vidtag-cli)
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vidtag-cli)
# Debian's own name for the license text.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vidtag-cli RENAME copyright)

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT deb_arch)
  set(deb_arch amd64)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vidtag-cli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "show and rewrite the codec codes of MPEG-4 family AVI files")
set(CPACK_PACKAGE_DESCRIPTION
  "Makes old MPEG-4 family AVI files (Microsoft MPEG-4 V1-V3, DivX 3/4/5, Angel Potion, XviD,\n3ivx) play with the decoder a player accepts, by rewriting the two codec codes in the AVI\nheaders in place. Nothing is re-encoded.")
set(CPACK_DEBIAN_FILE_NAME vidtag-cli_${PROJECT_VERSION}_${deb_arch}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvelle Vidtag developers")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(VIDTAG_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VIDTAG_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
include(CPack)
