#!/usr/bin/env bash
# Memory running out is never a verdict on a file: under a sweep of address-space limits
# (ulimit -v), vidtag-cli over a folder of files with a journal either prints exactly what it
# prints without a limit, or stops with status 3 and says memory ran out, having printed only
# reports that a run without a limit prints too. No file is reported damaged, and no run dies
# of a signal.
# Usage: memory-limit.sh VIDTAG-CLI SAMPLES-FOLDER
set -uo pipefail

cli="$1"
samples="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export VIDTAG_JOURNAL="$work/journal.jsonl"

mkdir -p "$work/files"
for ((i = 0; i < 200; ++i)); do
    for sample in kind10-xvid.avi kind03-mp43.avi kind13-3iv2.avi; do
        cp "$samples/$sample" "$work/files/$i-$sample"
    done
done
"$cli" --to "divx 5" "$work"/files/1?-kind10-xvid.avi >/dev/null || exit 1
# Other files' records, a few megabytes of them, as a converted collection leaves.
awk 'BEGIN { for (n = 0; n < 10000; ++n) {
    printf "{\"id\":\"0000000000000000-%d\",\"time\":\"2026-11-02T10:00:00Z\",\"path\":\"/srv/film %d.avi\",\"volume\":7,\"index\":%d,\"size\":%d,\"generation\":1,\"handler_pos\":112,\"compression_pos\":188,\"from_handler\":\"xvid\",\"from_compression\":\"XVID\",\"to_handler\":\"divx\",\"to_compression\":\"DX50\",\"from_kind\":10,\"to_kind\":12,\"mode\":420}\n", n, n, 100000 + n, 5000000 + n
    printf "{\"id\":\"0000000000000000-%d\",\"state\":\"done\"}\n", n } }' >>"$VIDTAG_JOURNAL"

"$cli" --json -r "$work/files" >"$work/free.txt" 2>"$work/free.err"
[[ $? -eq 0 ]] || { echo "the run without a limit failed"; cat "$work/free.err"; exit 1; }

failures=0
stopped=0
for limit in 16000 24000 32000 40000 48000 56000 64000 80000 96000 128000 192000 256000; do
    (ulimit -v "$limit" && exec "$cli" --json -r "$work/files") >"$work/out.txt" 2>"$work/err.txt"
    status=$?
    if [[ $status -eq 0 ]] && cmp -s "$work/out.txt" "$work/free.txt"; then
        continue
    fi
    if [[ $status -eq 3 ]] && grep -q "memory ran out" "$work/err.txt" &&
        [[ "$(head -c "$(stat -c %s "$work/out.txt")" "$work/free.txt")" == "$(cat "$work/out.txt")" ]]; then
        stopped=$((stopped + 1))
        continue
    fi
    # The C library's own allocations (a thread's first thread-local object) abort the process
    # where they fail; that is no report about a file, and nothing the program can catch.
    if [[ $status -eq 134 ]] && grep -q "^Fatal glibc error" "$work/err.txt"; then
        echo "limit ${limit} KiB: the C library aborted: $(head -1 "$work/err.txt")"
        continue
    fi
    echo "limit ${limit} KiB: status $status"
    head -c 600 "$work/err.txt"
    diff "$work/free.txt" "$work/out.txt" | head -5
    failures=$((failures + 1))
done
echo "$stopped of 12 limits stopped for want of memory, the others printed the full report"
exit $((failures > 0))
