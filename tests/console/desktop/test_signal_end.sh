#!/usr/bin/env bash
# The end of the program from outside on a real X server with a window manager (openbox): with
# unsaved work typed into the environment, job and scheduler editors (a new environment with a
# value, a new job with a command, a new scheduled job), `kill -TERM` ends the program as closing
# its main window does: every editor saves what it shows, the start-at-logon entry is written,
# nothing is asked, and the exit status is 0.
#
# test_signal_end.sh <path of the Corvane program>
set -uo pipefail
desktop_dir=$(cd "$(dirname "$0")" && pwd)
if [ -z "${CORVANE_DESKTOP_SESSION:-}" ]; then
  exec bash "$desktop_dir/run_desktop_session.sh" --tray none "$1" bash "$desktop_dir/test_signal_end.sh" "$1"
fi
# shellcheck source=desktop_lib.sh
source "$desktop_dir/desktop_lib.sh"

# The window named $1 (an anchored pattern), once it is mapped.
find_window() {
  local id
  id=$(timeout 15 xdotool search --sync --onlyvisible --name "$1" | head -n 1)
  [ -n "$id" ] && echo "$id"
}
hidden() { [ "$(map_state "$1")" != IsViewable ]; }
# Types $2 into the input dialog named $1 and accepts it.
answer_dialog() {
  local dialog
  dialog=$(find_window "$1") || { fail "no \"$1\" dialog"; finish; }
  xdotool windowfocus --sync "$dialog" type --delay 30 "$2"
  xdotool key --clearmodifiers Return
  wait_for 100 hidden "$dialog" || { fail "the \"$1\" dialog stayed open"; finish; }
}
# The value of key $3 in section $2 of settings file $1 ("" when missing).
ini_value() {
  awk -v section="[$2]" -v key="$3" '
    { sub(/\r$/, "") }
    /^\[/ { inside = ($0 == section); next }
    inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$1" 2>/dev/null
}

set_preference RUNSTART 1
start_program
folder="$CORVANE_DESKTOP_SESSION/bin"

# Environment editor: a new environment, its first variable chosen and a value typed (Tab order:
# the environment list, New, Remove, the variable list, New, Remove, the value).
xdotool windowfocus --sync "$main_window" key --clearmodifiers ctrl+alt+e
editor=$(find_window '^Corvane 2\.0 - Environment$') || { fail "no environment editor"; finish; }
xdotool windowfocus --sync "$editor" key --clearmodifiers Tab space
answer_dialog '^New Environment$' Alpha
xdotool windowfocus --sync "$editor" key --delay 60 --clearmodifiers Tab Tab Down Tab Tab Tab
xdotool type --delay 30 alpha.example

# Job editor: a new job and a command typed into its field (the job list, New, Remove, Command).
xdotool windowfocus --sync "$main_window" key --clearmodifiers ctrl+alt+j
jobs=$(find_window '^Corvane 2\.0 - Job$') || { fail "no job editor"; finish; }
xdotool windowfocus --sync "$jobs" key --clearmodifiers Tab space
answer_dialog '^New Job$' Nightly
xdotool windowfocus --sync "$jobs" key --delay 60 --clearmodifiers Tab Tab
xdotool type --delay 30 'uptime;'

# Scheduler editor: a new scheduled job (the list, Active, New), stored only when it is saved.
xdotool windowfocus --sync "$main_window" key --clearmodifiers ctrl+alt+s
scheduler=$(find_window '^Corvane 2\.0 - Scheduler$') || { fail "no scheduler editor"; finish; }
xdotool windowfocus --sync "$scheduler" key --clearmodifiers Tab Tab space
answer_dialog '^New Scheduled Job$' Weekly

# Nothing is saved yet.
if grep -q '^\[Alpha\]' "$folder/CorvaneEnv.ini" 2>/dev/null || grep -q '^\[Weekly\]' "$folder/CorvaneSchd.ini" 2>/dev/null; then
  fail "the editors saved before they were closed"
fi

kill -TERM "$program_pid"
if wait_for 150 sh -c "! kill -0 $program_pid 2>/dev/null"; then
  wait "$program_pid"
  status=$?
  program_pid=
  if [ "$status" -eq 0 ]; then pass "SIGTERM ended the program with exit status 0"; else fail "SIGTERM ended the program with exit status $status"; fi
else
  fail "the program was still running 15 s after SIGTERM"
  finish
fi

value=$(ini_value "$folder/CorvaneEnv.ini" Alpha LLogin)
if grep -q '^\[Alpha\]' "$folder/CorvaneEnv.ini" 2>/dev/null && [ -n "$value" ]; then
  pass "the environment editor saved the new environment and its typed value"
else
  fail "the environment editor's work was not saved ($(tr '\r\n' '  ' <"$folder/CorvaneEnv.ini" 2>/dev/null))"
fi
command=$(ini_value "$folder/CorvaneJob.ini" Nightly Command)
if [ -n "$command" ]; then
  pass "the job editor saved the new job with its typed command"
else
  fail "the job editor's work was not saved ($(tr '\r\n' '  ' <"$folder/CorvaneJob.ini" 2>/dev/null))"
fi
if grep -q '^\[Weekly\]' "$folder/CorvaneSchd.ini" 2>/dev/null; then
  pass "the scheduler editor saved the new scheduled job"
else
  fail "the scheduler editor's work was not saved ($(tr '\r\n' '  ' <"$folder/CorvaneSchd.ini" 2>/dev/null))"
fi
if [ -f "$XDG_CONFIG_HOME/autostart/Corvane.desktop" ]; then
  pass "the start-at-logon entry was written"
else
  fail "no start-at-logon entry after SIGTERM"
fi
finish
