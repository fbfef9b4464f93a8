#!/usr/bin/env bash
# scripts/bootstrap and scripts/x86-runnable against a fake apt-get, dpkg-query and dpkg first on
# PATH, which install nothing: a mirror in the middle of a sync, a wine32 that cannot be installed
# or is left half installed, a kernel with or without 32-bit support, a user who is not root.
# shellcheck disable=SC2016 # the fakes' code is quoted to run later
set -uo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
export FAKE && FAKE=$(mktemp -d "${TMPDIR:-/tmp}/vidtag-bootstrap-test.XXXXXX")
trap 'rm -rf "$FAKE"' EXIT
mkdir "$FAKE/bin" "$FAKE/scripts"
ln -s "$repo/scripts/bootstrap" "$repo/scripts/x86-runnable" "$FAKE/scripts/"
fake() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$FAKE/$1" && chmod +x "$FAKE/$1"; }
fake scripts/runs-32bit '[ "$FAKE_32BIT" = yes ]'
fake bin/id 'echo "$FAKE_UID"'
fake bin/sleep ':'
fake bin/dpkg 'case $1 in
  --print-architecture) echo amd64 ;;
  --add-architecture) echo "$2" >>"$FAKE/arch" ;;
  *) cat "$FAKE/arch" 2>/dev/null ;;
esac'
# Fills in the format's three fields from the state file's lines "PACKAGE STATUS".
fake bin/dpkg-query 'format=${2#-f=}; shift 2
declare -A s; while read -r n v; do s[$n]=$v; done <"$FAKE/state"
for p; do
  a=amd64; [[ $p != *:* ]] || a=${p#*:}; [ -n "${s[$p]:-}" ] || continue
  f=${format//"\${Package}"/${p%:*}}; f=${f//"\${Architecture}"/$a}
  printf "%b" "${f//"\${db:Status-Status}"/${s[$p]}}"
done'
# apt's own words for an index that changed under it and for a package it cannot resolve.
export FETCH='Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz' \
  SIZE='File has unexpected size (374820 != 376004). Mirror sync in progress?' \
  UNMET='libssl3:i386 : Depends: libc6:i386 (>= 2.36) but it is not going to be installed' \
  BROKEN='Unable to correct problems, you have held broken packages.'
fake bin/apt-get 'echo "$*" >>"$FAKE/apt.log"
p=(); for a; do [[ $a == [a-z]* && $a != *=* ]] && p+=("$a"); done
case ${p[0]} in
  update)
    [ "$FAKE_UPDATE" = ok ] && exit 0; t=E; [ "$FAKE_UPDATE" = fail ] || t=W
    echo "$t: $FETCH  $SIZE [IP: 151.101.2.132 80]"
    echo "$t: Some index files failed to download. They have been ignored, or old ones used instead."
    [ $t = W ] || exit 100 ;;
  remove) sed -i "/^${p[1]} /d" "$FAKE/state" ;;
  install)
    if [[ " ${p[*]} " == *" $FAKE_BROKEN "* ]]; then
      [ "$FAKE_HALF" = no ] || echo "$FAKE_BROKEN half-installed" >>"$FAKE/state"
      printf "%s\n" "The following packages have unmet dependencies:" " $UNMET" "E: $BROKEN"
      exit 100
    fi
    printf "%s installed\n" "${p[@]:1}" >>"$FAKE/state" ;;
esac'
apt_reason="$UNMET; $BROKEN" fetch="$FETCH $SIZE"
failures=0
# purpose | 32-bit kernel | apt-get update (warn: exits 0 but names an index) | package that fails
#   | left half installed | uid | present | exit status | line of the output | words apt-get must
#   not be asked (- none) | x86 summary line (- unchecked)
while IFS='|' read -r purpose k32 update broken half uid present status line never x86; do
  export FAKE_32BIT=$k32 FAKE_UPDATE=$update FAKE_BROKEN=$broken FAKE_HALF=$half FAKE_UID=$uid
  rm -f "$FAKE/apt.log" "$FAKE/arch" "$FAKE/skipped" && touch "$FAKE/apt.log"
  : >"$FAKE/state"
  if [ "$present" = all ]; then # what the same purpose installed on a first run
    PATH=$FAKE/bin:$PATH FAKE_UID=0 "$FAKE/scripts/bootstrap" "$purpose" >/dev/null && : >"$FAKE/apt.log"
  fi
  out=$(PATH=$FAKE/bin:$PATH VIDTAG_BOOTSTRAP_SKIPPED=$FAKE/skipped \
    "$FAKE/scripts/bootstrap" "$purpose" 2>&1)
  got=$? problems=()
  [ "$got" = "$status" ] || problems+=("exit status $got, not $status")
  grep -qxF -- "$line" <<<"$out" || problems+=("no line: $line")
  updates=$(grep -c ' update$' "$FAKE/apt.log")
  [ "$update" = ok ] || [ "$updates" = 0 ] || [ "$updates" = 2 ] ||
    problems+=("apt-get update $updates times")
  [ "$never" = - ] || ! grep -E -- "${never// /|}" "$FAKE/apt.log" >"$FAKE/asked" ||
    problems+=("apt-get asked: $(cat "$FAKE/asked")")
  summary=$(PATH=$FAKE/bin:$PATH "$FAKE/scripts/x86-runnable" "$FAKE/skipped")
  [ "$x86" = - ] || [ "$summary" = "$x86" ] || problems+=("x86 summary: \"$summary\", not \"$x86\"")
  [ ${#problems[@]} -eq 0 ] && continue
  failures=$((failures + 1))
  printf 'FAIL %s (32-bit %s, update %s, broken %s):\n' "$purpose" "$k32" "$update" "$broken"
  printf '  %s\n' "${problems[@]}" "output:" "$out" "apt-get:" "$(cat "$FAKE/apt.log")"
done <<EOF
demo|yes|fail|-|no|0|none|0|bootstrap: apt-get update failed twice ($fetch); installing from the package lists apt has|wine mingw xvfb x11 imagemagick ffmpeg i386|-
gui|yes|warn|-|no|0|none|0|bootstrap: apt-get update failed twice ($fetch); installing from the package lists apt has|xvfb imagemagick ffmpeg i386|-
test|yes|fail|wine32:i386|no|0|none|0|bootstrap: could not install wine32:i386 ($apt_reason); going on without it|remove|windows (x86): built; not run: wine32 could not be installed ($apt_reason)
test|yes|ok|wine32:i386|yes|0|none|0|bootstrap: removed the half-installed wine32:i386|-|windows (x86): built; not run: wine32 could not be installed ($apt_reason)
test|yes|ok|-|no|0|none|0|bootstrap: installed wine32:i386|remove|
test|no|fail|-|no|0|all|0|bootstrap: all 29 packages for test present|.|windows (x86): built; not run: this machine cannot run 32-bit programs
package|no|fail|cmake|no|0|none|1|bootstrap: cannot install what package needs: $apt_reason|wine|-
test|yes|ok|-|no|1000|none|1|bootstrap: not root; run it as root: sudo scripts/bootstrap test|.|-
test|yes|ok|-|no|1000|all|0|bootstrap: all 30 packages for test present|.|
EOF
exit $((failures > 0))
