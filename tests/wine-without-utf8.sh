#!/usr/bin/env bash
# wine-without-utf8.sh PROGRAM.exe [ARGS...]: runs a copy of PROGRAM whose manifest asks for no
# code page, under Wine with a Russian locale. The process then works in code page 1251, as on a
# Russian Windows older than 10 version 1903, which ignores the manifest's UTF-8 request.
# VIDTAG_WINE_ANSI_DIR names a folder for the copy and the locale; VIDTAG_WINE the Wine to use.
set -euo pipefail
exe=$1
shift
dir=${VIDTAG_WINE_ANSI_DIR:?set VIDTAG_WINE_ANSI_DIR}
mkdir -p "$dir"

# A Russian locale of our own: the machine may have none generated.
if [ ! -d "$dir/locale/ru_RU.UTF-8" ]; then
  staging=$(mktemp -d "$dir/locale.XXXXXX")
  localedef -i ru_RU -f UTF-8 "$staging/ru_RU.UTF-8" >/dev/null 2>&1 || true
  [ -d "$staging/ru_RU.UTF-8" ] || { echo "localedef could not make ru_RU.UTF-8" >&2; exit 1; }
  mkdir -p "$dir/locale"
  mv -T "$staging/ru_RU.UTF-8" "$dir/locale/ru_RU.UTF-8" 2>/dev/null || true
  rm -rf "$staging"
fi

copy="$dir/$(basename "$exe")"
python3 - "$exe" "$copy" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
element = re.compile(rb"<activeCodePage[^>]*>UTF-8</activeCodePage>")
found = len(element.findall(data))
if found != 1:
    sys.exit("%s: %d UTF-8 code page requests in the manifest, expected 1" % (sys.argv[1], found))
# A comment of the same length: the resource sizes and every offset stay as they are.
data = element.sub(lambda m: b"<!--" + b" " * (len(m.group(0)) - 7) + b"-->", data)
open(sys.argv[2] + ".part", "wb").write(data)
PY
mv "$copy.part" "$copy"
exec env LOCPATH="$dir/locale" LC_ALL=ru_RU.UTF-8 "${VIDTAG_WINE:-wine}" "$copy" "$@"
