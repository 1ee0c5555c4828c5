#!/usr/bin/env bash
# The program in an X11 (XEmbed) notification area, as on XFCE, MATE, LXDE or with trayer: with
# "minimize to the tray" on, minimising the main window hides it and leaves the program's icon in
# the tray, painted; a double click on the icon brings the window back.  Twice in a row, since the
# second round runs with the tray icon's window already made once.  Then the icon's context menu
# (a right click): Restore brings the window back, Quit ends the program.
#
# test_tray_xembed.sh <path of the Corvane program>
set -uo pipefail
desktop_dir=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 1 ] || { echo "usage: $0 <path of the Corvane program>" >&2; exit 2; }
if [ -z "${CORVANE_DESKTOP_SESSION:-}" ]; then
  exec bash "$desktop_dir/run_desktop_session.sh" --tray xembed "$1" bash "$desktop_dir/test_tray_xembed.sh" "$1"
fi
# shellcheck source=desktop_lib.sh
source "$desktop_dir/desktop_lib.sh"

set_preference MINIMIZE 1
start_program
say "main window $main_window"

for round in 1 2; do
  minimise_main_window
  if wait_for 100 main_window_hidden; then
    pass "round $round: minimised, the main window is hidden"
  else
    fail "round $round: minimising left the main window on screen (the tray was not used)"
    finish
  fi
  icon=
  wait_for 100 sh -c '[ -n "$(xwininfo -root -tree | grep "(\"panel\" \"trayer\")")" ]' || true
  for _ in $(seq 100); do icon=$(icon_windows | head -n 1); [ -n "$icon" ] && break; sleep 0.1; done
  if [ -z "$icon" ]; then
    fail "round $round: no window of the program was embedded in the tray"
    finish
  fi
  read -r state width height x y < <(xwininfo -id "$icon" | awk -F: '
    /Map State/ {gsub(/ /, "", $2); s = $2} /Width/ {w = $2 + 0} /Height/ {h = $2 + 0}
    /Absolute upper-left X/ {x = $2 + 0} /Absolute upper-left Y/ {y = $2 + 0}
    END {print s, w, h, x, y}')
  if [ "$state" = IsViewable ] && [ "$width" -gt 0 ] && [ "$height" -gt 0 ]; then
    pass "round $round: icon window $icon embedded, mapped, ${width}x${height} at $x,$y"
  else
    fail "round $round: icon window $icon in the tray is $state, ${width}x${height}"
    finish
  fi
  picture="$CORVANE_DESKTOP_SESSION/tray-icon-round$round.png"
  colours=1
  for _ in $(seq 30); do
    colours=$(window_colours "$icon" "$picture")
    [ "${colours:-1}" -gt 1 ] && break
    sleep 0.1
  done
  if [ "${colours:-1}" -gt 1 ]; then
    pass "round $round: the icon is painted ($colours colours)"
  else
    fail "round $round: the tray slot is empty: the program's icon window is embedded and mapped" \
      "(${width}x${height}) but shows a single colour; the program hid its own tray-icon window" \
      "together with its windows, so Qt no longer paints it (picture: $picture)"
  fi
  move_pointer $((x + width / 2)) $((y + height / 2))
  xdotool click --repeat 2 --delay 80 1
  if wait_for 100 main_window_shown; then
    pass "round $round: a double click on the icon brought the main window back"
  else
    fail "round $round: a double click on the tray icon did not bring the main window back"
    finish
  fi
done

# The icon's context menu, as the X11 tray shows it on a right click: its Restore (typed as its
# mnemonic R) brings the main window back, its Quit (Q) ends the program.
for entry in Restore Quit; do
  # At an operator's pace: in this session a right click on the new icon within about a second
  # of the menu's last use (minimising at once after its Restore) showed no menu.
  sleep 1
  minimise_main_window
  wait_for 100 main_window_hidden || { fail "menu $entry: minimising left the main window on screen"; finish; }
  icon=
  for _ in $(seq 100); do icon=$(shown_icon_window) && break; sleep 0.1; done
  [ -n "$icon" ] || { fail "menu $entry: no icon in the tray"; finish; }
  # Clicked once the tray shows it painted, as an operator would.
  for _ in $(seq 50); do
    [ "$(window_colours "$icon" "$CORVANE_DESKTOP_SESSION/tray-icon-menu.png")" -gt 1 ] 2>/dev/null && break
    sleep 0.1
  done
  read -r x y < <(xwininfo -id "$icon" | awk -F: '/Absolute upper-left X/ {x = $2 + 0}
    /Absolute upper-left Y/ {y = $2 + 0} /Width/ {w = $2 + 0} /Height/ {h = $2 + 0}
    END {print x + int(w / 2), y + int(h / 2)}')
  move_pointer "$x" "$y"
  xdotool click 3
  # The menu: a window of the program's that is neither the icon nor the (hidden) main window.
  menu=
  for _ in $(seq 50); do
    for w in $(xdotool search --onlyvisible --class Corvane 2>/dev/null); do
      if [ "$((w))" -ne "$((icon))" ] && [ "$((w))" -ne "$((main_window))" ]; then menu=$w; break; fi
    done
    [ -n "$menu" ] && break
    sleep 0.1
  done
  if [ -z "$menu" ]; then
    fail "menu $entry: a right click on the icon showed no menu"
    finish
  fi
  xdotool key --clearmodifiers "$(tr '[:upper:]' '[:lower:]' <<<"${entry:0:1}")"
  if [ "$entry" = Restore ]; then
    if wait_for 100 main_window_shown; then pass "the icon's menu: Restore brought the main window back"
    else fail "the icon's menu: Restore did not bring the main window back"; finish; fi
  else
    if wait_for 100 sh -c "! kill -0 $program_pid 2>/dev/null"; then
      wait "$program_pid"; rc=$?
      if [ "$rc" -eq 0 ]; then pass "the icon's menu: Quit ended the program (exit code 0)"
      else fail "the icon's menu: Quit ended the program with exit code $rc"; fi
    else
      fail "the icon's menu: Quit did not end the program"
    fi
  fi
done
finish
