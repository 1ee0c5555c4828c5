# Helpers of the desktop tests, sourced by run_desktop_session.sh and by the tests it runs.
# Every wait is bounded.

program_pid=
failures=0

say() { echo "desktop[${CORVANE_DESKTOP_TRAY:-?}]: $*"; }
pass() { say "PASS: $*"; }
fail() { say "FAIL: $*"; failures=$((failures + 1)); }

# Waits at most $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

# Stores a preference as the program does: its per-user store of organisation and application
# "Corvane", integers as decimal text.
set_preference() {
  mkdir -p "$XDG_CONFIG_HOME/Corvane"
  local file="$XDG_CONFIG_HOME/Corvane/Corvane.conf"
  [ -f "$file" ] || printf '[General]\n' >"$file"
  printf '%s=%s\n' "$1" "$2" >>"$file"
}

# Starts the program and sets main_window to its main window "Corvane 2.0".
start_program() {
  "$CORVANE_DESKTOP_PROGRAM" >"$CORVANE_DESKTOP_SESSION/program.out" 2>"$CORVANE_DESKTOP_SESSION/program.err" &
  program_pid=$!
  main_window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Corvane 2\.0$' | head -n 1)
  [ -n "$main_window" ] || { fail "no window \"Corvane 2.0\" appeared"; stop_program; finish; }
}

program_running() { [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; }

# Ends the program: through its own Quit shortcut while its window is there, else by signal.
stop_program() {
  program_running || return 0
  if main_window_shown; then
    xdotool windowfocus --sync "$main_window" key --clearmodifiers ctrl+alt+q 2>/dev/null || true
    wait_for 100 sh -c "! kill -0 $program_pid 2>/dev/null" || true
  fi
  if program_running; then
    kill -TERM "$program_pid" 2>/dev/null || true
    wait_for 50 sh -c "! kill -0 $program_pid 2>/dev/null" || kill -KILL "$program_pid" 2>/dev/null || true
  fi
  wait "$program_pid" 2>/dev/null || true
}

map_state() { xwininfo -id "$1" 2>/dev/null | sed -n 's/^ *Map State: *//p'; }
main_window_shown() { [ "$(map_state "$main_window")" = IsViewable ]; }
main_window_hidden() { [ "$(map_state "$main_window")" != IsViewable ]; }

minimise_main_window() {
  xdotool windowminimize --sync "$main_window" 2>/dev/null || xdotool windowminimize "$main_window"
}

# Puts the pointer at $1,$2 and waits until it is there.  (xdotool's mousemove --sync waits for a
# motion, so to the place the pointer already is it would wait until its own time-out.)
move_pointer() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell 2>/dev/null)"
  [ "${X:-}" = "$1" ] && [ "${Y:-}" = "$2" ] && return 0
  xdotool mousemove --sync "$1" "$2"
}

# The program's windows that sit inside trayer's panel (the X11 tray's icon windows).
icon_windows() {
  local panel
  panel=$(xwininfo -root -tree | awk '/\("panel" "trayer"\)/ {print $1; exit}')
  [ -n "$panel" ] || return 1
  xwininfo -tree -id "$panel" | awk '/\("Corvane" "Corvane"\)/ {print $1}'
}

# The program's icon window that the X11 tray shows (an icon window of an earlier round may still
# sit in the panel, unmapped, for a moment).
shown_icon_window() {
  local w
  for w in $(icon_windows); do
    [ "$(map_state "$w")" = IsViewable ] && { echo "$w"; return 0; }
  done
  return 1
}

# One click on the program's tray icon, in whichever notification area the session has: a left
# click on the icon window in the X11 tray, Activate on the D-Bus item.  Fails when there is no
# icon to click.
click_tray_icon() {
  case "${CORVANE_DESKTOP_TRAY:-}" in
    xembed)
      local icon=
      for _ in $(seq 100); do icon=$(shown_icon_window) && break; sleep 0.1; done
      [ -n "$icon" ] || return 1
      local geometry
      geometry=$(xwininfo -id "$icon" | awk -F: '/Absolute upper-left X/ {x = $2 + 0} /Absolute upper-left Y/ {y = $2 + 0}
        /Width/ {w = $2 + 0} /Height/ {h = $2 + 0} END {print x + int(w / 2), y + int(h / 2)}')
      # shellcheck disable=SC2086
      move_pointer $geometry
      xdotool click 1
      ;;
    sni)
      local item
      item=$(timeout 20 /usr/bin/python3 "$desktop_dir/sni_client.py" wait-item --timeout 15) || return 1
      timeout 20 /usr/bin/python3 "$desktop_dir/sni_client.py" activate "$item" 100 10
      ;;
    *) return 1 ;;
  esac
}

# Number of distinct colours the window shows (1: nothing painted); writes its picture to $2.
window_colours() {
  xwd -silent -id "$1" 2>/dev/null | /usr/bin/python3 "$desktop_dir/window_pixels.py" --png "$2" | awk '{print $2}'
}

finish() {
  stop_program
  if [ -s "$CORVANE_DESKTOP_SESSION/program.err" ]; then
    say "the program's stderr:"
    sed 's/^/  /' "$CORVANE_DESKTOP_SESSION/program.err"
  fi
  if [ "$failures" -eq 0 ]; then say "ok"; exit 0; fi
  say "$failures check(s) failed"
  exit 1
}
