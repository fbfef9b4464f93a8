#!/usr/bin/env bash
# wine-windows-user.sh WINE VIDTAG-CLI.EXE SAMPLES CPGET.EXE: vidtag-cli.exe used the way a Windows user
# uses it: -r over deep folders and folders ending in a dot or a space, a restore through another
# spelling of the path, the console's code page, and wildcards left to the program by cmd.exe.
set -euo pipefail
wine=$1 exe=$2 samples=$3 cpget=$4
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export VIDTAG_JOURNAL="Z:$dir/journal.jsonl"
sample=$samples/kind10-xvid.avi

fail() { echo "FAIL: $*" >&2; exit 1; }
run() { "$wine" "$exe" "$@" 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
win() { local path=${1//\//\\}; echo "Z:$path"; }
converted() { ! cmp -s "$1" "$sample"; }

# 1. Every file of the tree: past 260 characters, and below names Windows would trim.
tree=$dir/tree deep=$dir/tree
for i in 1 2 3 4 5 6; do deep+=/$(printf 'folder%02d-%038d' "$i" 0); done
mkdir -p "$deep" "$tree/Season 1." "$tree/Movies "
for file in "$tree/shallow.avi" "$deep/deep.avi" "$tree/Season 1./a.avi" "$tree/Movies /b.avi"; do
  cp "$sample" "$file"
done
[ ${#deep} -gt 280 ] || fail "the deep folder is only ${#deep} characters"
out=$(run -r --to DX50 "$(win "$tree")") || fail "-r exited $?: $out"
for file in "$tree/shallow.avi" "$deep/deep.avi" "$tree/Season 1./a.avi" "$tree/Movies /b.avi"; do
  converted "$file" || fail "-r left $file unconverted: $out"
done

# 2. A restore finds the record whatever spelling converted the file, after a copy replaced it.
# The file replaced keeps its name under another one: Wine's file index is the inode number,
# without a generation, and a freed inode given to the next copy would pass for the old file.
n=0
for spelling in "$(win "$dir")\\Y.AVI" "\\\\?\\$(win "$dir")\\y.avi" "$(win "$dir")\\y.avi."; do
  cp "$sample" "$dir/y.avi"
  out=$(run --to DX50 "$spelling") || fail "converting $spelling exited $?: $out"
  n=$((n + 1))
  mv "$dir/y.avi" "$dir/replaced$n" && cp "$dir/replaced$n" "$dir/y.avi"
  out=$(run --restore "$(win "$dir")\\y.avi") || fail "restore after $spelling exited $?: $out"
  cmp -s "$dir/y.avi" "$sample" || fail "restore after $spelling left the file converted: $out"
done

# 3. The console's code page is the same after the program as before.
pages=$(win "$dir")\\pages
(cd "$dir" && script -qc "'$wine' cmd /c '$(win "$cpget") $pages & $(win "$exe") --version & $(win "$cpget") $pages'" \
  /dev/null </dev/null >/dev/null)
[ "$(sort -u "$dir/pages" | wc -l)" -eq 1 ] && [ "$(wc -l <"$dir/pages")" -eq 2 ] ||
  fail "the console's code page changed: $(tr '\n' ' ' <"$dir/pages")"

# 4. Wildcards match files only, in any case, sorted; a pattern matching nothing is an error.
mkdir -p "$dir/w/c.avi"
cp "$sample" "$dir/w/b.AVI" && cp "$sample" "$dir/w/a.avi" && touch "$dir/w/notes.txt"
out=$(cd "$dir/w" && run --dry-run --to DX50 '*.avi') || fail "*.avi exited $?: $out"
[ "$(grep -F -- ' -> ' <<<"$out" | cut -d: -f1 | tr '\n' ' ')" = "a.avi b.AVI " ] ||
  fail "*.avi gave: $out"
set +e
out=$(cd "$dir/w" && run --to DX50 '*.mkv')
status=$?
set -e
[ "$status" -eq 1 ] && grep -qF 'no files match *.mkv' <<<"$out" || fail "*.mkv: $status $out"
echo "vidtag-cli.exe under Wine: deep and trimmed folders, path spellings, code page, wildcards"
