#!/usr/bin/env bash
# wine-launch.sh PROGRAM [ARGS...]: runs PROGRAM under Wine ($VIDTAG_WINE_PROGRAM, or wine), the
# cross builds' test launcher. When Wine itself fails before the program runs, the launch is
# tried once more: its loader fell back to a shell launch ("ShellExecuteEx failed"), or the
# server dropped its client ("wine client error"). A launch that exited with 0 is never repeated;
# anything else the program or Wine does is passed on as it is, the exit status included. Each second launch adds a line to the file named
# by VIDTAG_WINE_RETRY_LOG, when set.
set -uo pipefail
wine=${VIDTAG_WINE_PROGRAM:-wine}

# Wine's own words for a launch that never reached the program.
launch_failed() {
  grep -aqE 'ShellExecuteEx failed|Application could not be started|wine client error' "$1"
}

output=$(mktemp "${TMPDIR:-/tmp}/vidtag-wine-launch.XXXXXX")
trap 'rm -f "$output" "$output.status"' EXIT
# launch: runs the program once. Its stdout and stderr reach the caller apart and as they are
# written, and a copy of both is kept to look for Wine's words, which it writes to either. A
# terminal is handed over untouched: the program must see its console.
launch() {
  if [ -t 1 ] || [ -t 2 ]; then
    "$wine" "$@"
    echo $? >"$output.status"
    return
  fi
  { { "$wine" "$@" 2>&1 1>&3 3>&-; echo $? >"$output.status"; } | tee -a "$output" >&2; } 3>&1 |
    tee -a "$output"
}

for attempt in 1 2; do
  : >"$output"
  launch "$@"
  status=$(cat "$output.status")
  if [ "$status" -eq 0 ] || [ "$attempt" -eq 2 ] || ! launch_failed "$output"; then
    exit "$status"
  fi
  echo "wine-launch.sh: Wine could not start $1 (status $status); launching it once more" >&2
  if [ -n "${VIDTAG_WINE_RETRY_LOG:-}" ]; then
    printf '%s\t%s\n' "$(basename "$1")" \
      "$(grep -a -m1 -E 'ShellExecuteEx|could not be started|wine client error' "$output")" \
      >>"$VIDTAG_WINE_RETRY_LOG"
  fi
done
