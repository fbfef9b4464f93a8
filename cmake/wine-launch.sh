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
  grep -qE 'ShellExecuteEx failed|Application could not be started|wine client error' "$1"
}

errors=$(mktemp "${TMPDIR:-/tmp}/vidtag-wine-launch.XXXXXX")
trap 'rm -f "$errors"' EXIT
for attempt in 1 2; do
  : >"$errors"
  # stderr reaches the caller as it is written, and a copy is kept to look for Wine's words.
  { "$wine" "$@" 2>&1 >&3 3>&- | tee -a "$errors" >&2; } 3>&1
  status=${PIPESTATUS[0]}
  if [ "$status" -eq 0 ] || [ "$attempt" -eq 2 ] || ! launch_failed "$errors"; then
    exit "$status"
  fi
  echo "wine-launch.sh: Wine could not start $1 (status $status); launching it once more" >&2
  if [ -n "${VIDTAG_WINE_RETRY_LOG:-}" ]; then
    printf '%s\t%s\n' "$(basename "$1")" \
      "$(grep -m1 -E 'ShellExecuteEx|could not be started|wine client error' "$errors")" \
      >>"$VIDTAG_WINE_RETRY_LOG"
  fi
done
