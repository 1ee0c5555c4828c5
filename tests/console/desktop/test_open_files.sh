#!/usr/bin/env bash
# View / Log File... and View / Output File... on a real X server with a window manager and no
# program of the desktop for text files: never nothing.
#   - before the log exists, a message box says so (no window of the file);
#   - with Debian's xdg-open (xdg-utils), which finds no program for the file and fails, the
#     program shows the file in its own read-only window;
#   - without xdg-open on the PATH, the same.
#
# test_open_files.sh <path of the Corvane program>
set -uo pipefail
desktop_dir=$(cd "$(dirname "$0")" && pwd)
if [ -z "${CORVANE_DESKTOP_SESSION:-}" ]; then
  exec bash "$desktop_dir/run_desktop_session.sh" --tray none "$1" bash "$desktop_dir/test_open_files.sh" "$1"
fi
# shellcheck source=desktop_lib.sh
source "$desktop_dir/desktop_lib.sh"

[ -x /usr/bin/xdg-open ] || { fail "xdg-open is missing (scripts/install-deps.sh installs xdg-utils)"; finish; }
# A session whose desktop knows no program for any kind of file, and no browser.
mkdir -p "$CORVANE_DESKTOP_SESSION/no-applications"
export XDG_DATA_DIRS="$CORVANE_DESKTOP_SESSION/no-applications" BROWSER=corvane-no-such-browser

# A shown window of the program other than the main window, named as $1 says.
other_window() {
  local w
  for w in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    [ "$((w))" -ne "$((main_window))" ] && { echo "$w"; return 0; }
  done
  return 1
}
# Chooses View / $1 (its mnemonic) from the main window's menu.
choose_view_item() {
  xdotool windowfocus --sync "$main_window" key --clearmodifiers alt+v
  sleep 0.5
  xdotool key --clearmodifiers "$1"
}

log="$CORVANE_DESKTOP_SESSION/bin/log.txt"
output="$CORVANE_DESKTOP_SESSION/bin/output.txt"

start_program
choose_view_item l
if wait_for 100 other_window '^Corvane 2\.0$'; then
  pass "Log File... before any scheduled run said so in a message"
  box=$(other_window '^Corvane 2\.0$')
  xdotool windowfocus --sync "$box" key --clearmodifiers Return
  wait_for 50 sh -c "! xdotool search --onlyvisible --name '^Corvane 2\\.0\$' | grep -qvx $((main_window))" ||
    fail "the message box did not close"
else
  fail "Log File... without a log showed nothing"
fi

printf '*************************************\r\nSchedule Job Name: Nightly\r\n' >"$log"
choose_view_item l
if wait_for 100 other_window "^Corvane 2\\.0 - .*/log\\.txt\$"; then
  pass "with xdg-open finding no program, Log File... showed the log in the program's own window"
else
  fail "with xdg-open finding no program, Log File... showed no window of the log"
fi
stop_program

# The same program, started with a PATH that has no xdg-open.
without="$CORVANE_DESKTOP_SESSION/corvane-without-xdg-open"
printf '#!/bin/sh\nPATH="%s" exec "%s"\n' "$CORVANE_DESKTOP_SESSION/no-applications" "$CORVANE_DESKTOP_PROGRAM" >"$without"
chmod +x "$without"
CORVANE_DESKTOP_PROGRAM=$without start_program
printf 'remote output\r\n' >"$output"
choose_view_item o
if wait_for 100 other_window "^Corvane 2\\.0 - .*/output\\.txt\$"; then
  pass "without xdg-open, Output File... showed the output file in the program's own window"
else
  fail "without xdg-open, Output File... showed no window of the output file"
fi
finish
