#!/usr/bin/env bash
# The program's secondary windows on a real X server with a window manager (openbox), with the
# notification area the session has (xembed, sni) or none:
#   - the environment editor is a transient window of the main window (not above every other
#     program), centred on it, and comes up at the same place at its second opening;
#   - opening it while it is open gives it the focus;
#   - with a tray, minimising the editor takes the program into the tray, and one click on the
#     tray icon brings both windows back; without one (minimize to tray off), minimising the main
#     window minimises the editor with it, and both come back together.  Either way the
#     environment made before (not yet saved) is still there: closing the editor saves it;
#   - the menus answer their keyboard mnemonics (Alt+V, then E opens the environment editor).
#
# test_windows.sh xembed|sni|none <path of the Corvane program>
set -uo pipefail
desktop_dir=$(cd "$(dirname "$0")" && pwd)
if [ -z "${CORVANE_DESKTOP_SESSION:-}" ]; then
  exec bash "$desktop_dir/run_desktop_session.sh" --tray "$1" "$2" bash "$desktop_dir/test_windows.sh" "$1" "$2"
fi
# shellcheck source=desktop_lib.sh
source "$desktop_dir/desktop_lib.sh"

editor_name='^Corvane 2\.0 - Environment$'
# "x y width height" of a window's inside (without the frame), in screen coordinates.
inside() {
  xwininfo -id "$1" | awk -F: '/Absolute upper-left X/ {x = $2 + 0} /Absolute upper-left Y/ {y = $2 + 0}
    /Width/ {w = $2 + 0} /Height/ {h = $2 + 0} END {print x, y, w, h}'
}
active_window() { xprop -root _NET_ACTIVE_WINDOW | sed -n 's/.*# *\(0x[0-9a-f]*\).*/\1/p'; }
is_active() { [ "$(( $(active_window) ))" -eq "$(( $1 ))" ]; }
shown() { [ "$(map_state "$1")" = IsViewable ]; }
hidden() { [ "$(map_state "$1")" != IsViewable ]; }
# The editor's window, once it is mapped.
find_editor() {
  local id
  id=$(timeout 15 xdotool search --sync --onlyvisible --name "$editor_name" | head -n 1)
  [ -n "$id" ] && echo "$id"
}

tray=$CORVANE_DESKTOP_TRAY
[ "$tray" = none ] || set_preference MINIMIZE 1
start_program

# Opened from the main window's shortcut.
xdotool windowfocus --sync "$main_window" key --clearmodifiers ctrl+alt+e
editor=$(find_editor) || { fail "Ctrl+Alt+E showed no environment editor"; finish; }
transient=$(xprop -id "$editor" WM_TRANSIENT_FOR | sed -n 's/.*# *\(0x[0-9a-f]*\).*/\1/p')
if [ -n "$transient" ] && [ "$((transient))" -eq "$((main_window))" ]; then
  pass "the editor is a transient window of the main window"
else
  fail "the editor is not transient for the main window (WM_TRANSIENT_FOR: ${transient:-none})"
fi
if xprop -id "$editor" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE; then
  fail "the editor stays above every other program's window"
else
  pass "the editor does not stay above other programs' windows"
fi
read -r mx my mw mh < <(inside "$main_window")
read -r ex ey ew eh < <(inside "$editor")
dx=$(( (ex + ew / 2) - (mx + mw / 2) )); dy=$(( (ey + eh / 2) - (my + mh / 2) ))
if [ "${dx#-}" -le 1 ] && [ "${dy#-}" -le 1 ]; then
  pass "the editor comes up centred on the main window (${ew}x${eh} at $ex,$ey)"
else
  fail "the editor is off the main window's centre by $dx,$dy (${ew}x${eh} at $ex,$ey; main ${mw}x${mh} at $mx,$my)"
fi
first="$ex $ey $ew $eh"

# A new environment, through the keyboard: Tab to "New", the name in the input dialog.
xdotool windowfocus --sync "$editor" key --clearmodifiers Tab space
dialog=$(timeout 15 xdotool search --sync --onlyvisible --name '^New Environment$' | head -n 1)
if [ -z "$dialog" ]; then
  fail "New gave no \"New Environment\" dialog"
  finish
fi
xdotool windowfocus --sync "$dialog" type --delay 30 Alpha
xdotool key --clearmodifiers Return
wait_for 100 hidden "$dialog" || fail "the \"New Environment\" dialog stayed open"

if [ "$tray" != none ]; then
  # Minimised through its own window: the window manager minimises the main window with it, and
  # the program goes into the tray.
  xdotool windowminimize "$editor"
  if wait_for 100 main_window_hidden && wait_for 50 hidden "$editor"; then
    pass "minimising the editor took the program into the tray"
  else
    fail "minimising the editor left the main window ($(map_state "$main_window")) or the editor ($(map_state "$editor")) on screen"
    finish
  fi
  click_tray_icon || { fail "no tray icon to click"; finish; }
  if wait_for 100 main_window_shown && wait_for 50 shown "$editor"; then
    pass "one click on the tray icon brought the main window and the editor back"
  else
    fail "after a click on the tray icon the main window is $(map_state "$main_window") and the editor $(map_state "$editor")"
    finish
  fi
else
  # Minimising the main window minimises its editor with it: nothing is left floating.
  minimise_main_window
  if wait_for 100 main_window_hidden && wait_for 50 hidden "$editor"; then
    pass "minimising the main window minimised the editor with it"
  else
    fail "minimising the main window left the editor on screen ($(map_state "$editor"))"
    finish
  fi
  xdotool windowactivate "$main_window" 2>/dev/null || true
  if wait_for 100 main_window_shown && wait_for 50 shown "$editor"; then
    pass "restoring the main window brought the editor back with it"
  else
    fail "after restoring, the main window is $(map_state "$main_window") and the editor $(map_state "$editor")"
    finish
  fi
fi

# Closed: what it shows is saved, the new environment among it.
xdotool windowfocus --sync "$editor" key --clearmodifiers alt+F4
wait_for 100 hidden "$editor" || { fail "the editor did not close"; finish; }
envfile="$CORVANE_DESKTOP_SESSION/bin/CorvaneEnv.ini"
if wait_for 50 grep -q '^\[Alpha\]' "$envfile"; then
  pass "the new environment made before minimising was saved at the close"
else
  fail "the new environment was lost on the way through minimising (the editor saved: $(tr '\n' ' ' <"$envfile" 2>/dev/null))"
fi

# Opened again, through the View menu's mnemonics: where it was the first time.
xdotool windowfocus --sync "$main_window" key --clearmodifiers alt+v
# The View menu: a shown window of the program's other than the main window.
other_window_shown() {
  local w
  for w in $(xdotool search --onlyvisible --class Corvane 2>/dev/null); do
    [ "$((w))" -ne "$((main_window))" ] && return 0
  done
  return 1
}
wait_for 50 other_window_shown || fail "Alt+V opened no menu"
xdotool key --clearmodifiers e
editor=$(find_editor) || { fail "Alt+V, E showed no environment editor"; finish; }
pass "Alt+V, E opened the environment editor"
read -r ex ey ew eh < <(inside "$editor")
if [ "$ex $ey $ew $eh" = "$first" ]; then
  pass "the second opening lands where the first did ($first)"
else
  fail "the second opening is at $ex $ey $ew $eh, the first was at $first"
fi

# Opening the open editor gives it the focus back.
xdotool windowactivate --sync "$main_window" 2>/dev/null || xdotool windowfocus --sync "$main_window"
wait_for 50 is_active "$main_window" || say "note: the main window did not become active ($(active_window))"
xdotool key --clearmodifiers ctrl+alt+e
if wait_for 50 is_active "$editor"; then
  pass "Ctrl+Alt+E on the open editor gave it the focus"
else
  fail "Ctrl+Alt+E on the open editor left the focus on $(active_window)"
fi
finish
