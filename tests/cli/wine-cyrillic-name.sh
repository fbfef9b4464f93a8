#!/usr/bin/env bash
# wine-cyrillic-name.sh WINE VIDTAG-CLI.EXE SAMPLES: the Windows build converts and restores a
# copy of a sample whose name is Cyrillic, and prints that name back as UTF-8.
set -euo pipefail
wine=$1 exe=$2 samples=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# The conversions are recorded in a scratch journal, never in the prefix's own.
export VIDTAG_JOURNAL="Z:$dir/journal.jsonl"
file="$dir/Фильм для проверки.avi"
cp "$samples/kind03-mp43.avi" "$file"

fail() { echo "FAIL: $*" >&2; exit 1; }
run() { "$wine" "$exe" "$@" | tr -d '\r'; }

out=$(run "$file") || fail "analysis exited $?"
grep -qF "Фильм для проверки.avi: Microsoft MPEG4 V3" <<<"$out" || fail "analysis printed: $out"

out=$(run --json --to "DivX V3 Fast" "$file") || fail "conversion exited $?"
python3 -c '
import json, sys
line = json.loads(sys.argv[1])
assert line["path"].endswith("Фильм для проверки.avi"), line["path"]
assert (line["kind"], line["handler"], line["compression"]) == (7, "div4", "DIV3"), line
assert (line["from_kind"], line["converted"]) == (3, True), line
' "$out" || fail "conversion printed: $out"

run --to mp43 --lang ru "$file" >/dev/null || fail "converting back exited $?"
cmp -s "$file" "$samples/kind03-mp43.avi" || fail "the copy does not match the sample again"

set +e
run "$dir/нет.avi" >/dev/null 2>&1
status=$?
set -e
[ "$status" -eq 1 ] || fail "a missing file exited $status"
echo "vidtag-cli.exe under Wine: Cyrillic name analysed, converted and restored"
