# Compiles through ccache when it is installed, so that a build in a fresh clone (CI's) reuses
# what an earlier build of the same sources compiled, wherever that clone was. Without ccache, or
# with VIDTAG_CCACHE=OFF, the compilers run directly; a launcher given by the user (the
# CMAKE_CXX_COMPILER_LAUNCHER variable or environment variable) is kept as it is.
#
# The cache is ccache's own (~/.cache/ccache unless the user configured another), outside the
# clone. Its settings travel on the launcher's command line, not in the user's ccache.conf:
# - paths under the clone are hashed relative to the compiler's folder, and that folder itself is
#   not hashed (the debug builds' objects then name the first clone's folder as theirs);
# - a miss is hashed from the compiler's own list of headers, without running the preprocessor
#   a second time;
# - the cache stops growing at VIDTAG_CCACHE_MAX_SIZE, its oldest objects removed first.
option(VIDTAG_CCACHE "Compile through ccache when it is installed" ON)
set(VIDTAG_CCACHE_MAX_SIZE 4G CACHE STRING "The size ccache trims its cache to")

get_filename_component(vidtag_ccache_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(VIDTAG_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER AND NOT CMAKE_C_COMPILER_LAUNCHER)
  find_program(VIDTAG_CCACHE_PROGRAM ccache NO_CMAKE_FIND_ROOT_PATH)
  find_program(VIDTAG_ENV_PROGRAM env NO_CMAKE_FIND_ROOT_PATH)
  if(VIDTAG_CCACHE_PROGRAM AND VIDTAG_ENV_PROGRAM)
    set(vidtag_launcher ${VIDTAG_ENV_PROGRAM}
      CCACHE_BASEDIR=${vidtag_ccache_root}
      CCACHE_NOHASHDIR=1
      CCACHE_DEPEND=1
      CCACHE_MAXSIZE=${VIDTAG_CCACHE_MAX_SIZE}
      ${VIDTAG_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${vidtag_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${vidtag_launcher})
  endif()
endif()
# scripts/test looks for this line to check that the build uses the cache.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache")
  message(STATUS "Compiling through ccache")
endif()
