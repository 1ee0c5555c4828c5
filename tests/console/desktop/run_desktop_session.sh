#!/usr/bin/env bash
# A private desktop for the real program: an X server (Xvfb, on a free display it picks itself), a
# window manager (openbox), a D-Bus session bus of its own and a notification area, then runs a
# command in it and takes everything down again.
#
# run_desktop_session.sh --tray xembed|sni|none PROGRAM COMMAND [ARGS...]
#
#   xembed  trayer, a tray host of the X11 system-tray protocol (XEmbed); the bus has no
#           StatusNotifier watcher, so Qt uses the X11 tray
#   sni     fake_sni_watcher.py owns org.kde.StatusNotifierWatcher on the bus (a D-Bus tray, as
#           KDE Plasma, GNOME with AppIndicator, or any Wayland desktop has)
#   none    no notification area at all
#
# PROGRAM (the built Corvane) is copied with its library and help file into a folder of its own;
# the home, configuration and runtime folders are the session's own.  COMMAND sees:
#   DISPLAY, DBUS_SESSION_BUS_ADDRESS, HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_RUNTIME_DIR
#   CORVANE_DESKTOP_SESSION  the session folder
#   CORVANE_DESKTOP_PROGRAM  the copied program
#   CORVANE_DESKTOP_TRAY     xembed, sni or none
# Set CORVANE_DESKTOP_KEEP=1 to keep the session folder (logs, pictures) after the end; COMMAND
# is ended after CORVANE_DESKTOP_TIMEOUT seconds (300).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

tray=
if [ "${1:-}" = "--tray" ]; then tray=${2:-}; shift 2 || true; fi
case "$tray" in xembed|sni|none) ;; *) echo "usage: $0 --tray xembed|sni|none PROGRAM COMMAND [ARGS...]" >&2; exit 2 ;; esac
[ $# -ge 2 ] || { echo "usage: $0 --tray xembed|sni|none PROGRAM COMMAND [ARGS...]" >&2; exit 2; }
program=$(readlink -f "$1"); shift
[ -x "$program" ] || { echo "desktop: no program at $program" >&2; exit 2; }

need=(Xvfb openbox dbus-daemon xdotool xwininfo xprop xwd /usr/bin/python3)
[ "$tray" = xembed ] && need+=(trayer)
for tool in "${need[@]}"; do
  command -v "$tool" >/dev/null || { echo "desktop: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 2; }
done
[ "$tray" = sni ] && { /usr/bin/python3 -c 'import dbus, gi' 2>/dev/null ||
  { echo "desktop: python3-dbus or python3-gi is missing (scripts/install-deps.sh installs them)" >&2; exit 2; }; }

session=$(mktemp -d /tmp/corvane-desktop.XXXXXX)
pids=()
cleanup() {
  local i
  # Newest first: the notification area before the bus, the window manager before the X server.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    stop_pid "${pids[i]}"
  done
  # A display still being brought up when the script ends.
  [ -n "${openbox_pid:-}" ] && stop_pid "$openbox_pid"
  [ -n "${xvfb_pid:-}" ] && stop_pid "$xvfb_pid"
  if [ "${CORVANE_DESKTOP_KEEP:-0}" = 1 ]; then
    echo "desktop: session folder kept: $session" >&2
  else
    rm -rf "$session"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wait_for and the other helpers of the tests.
# shellcheck source=desktop_lib.sh
source "$here/desktop_lib.sh"

mkdir -p "$session/bin" "$session/home" "$session/config" "$session/data" "$session/runtime"
chmod 700 "$session/runtime"
dir=$(dirname "$program")
cp "$program" "$dir/libCorvaneDll.so" "$session/bin/"
[ -f "$dir/CORVANE.HLP" ] && cp "$dir/CORVANE.HLP" "$session/bin/"

export HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
export XDG_RUNTIME_DIR="$session/runtime" XDG_CACHE_HOME="$session/home/.cache"
unset WAYLAND_DISPLAY DISPLAY DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DESKTOP_SESSION
unset QT_QPA_PLATFORMTHEME SESSION_MANAGER
export QT_QPA_PLATFORM=xcb
# A sanitizer build reports through its own options; Qt's D-Bus buffers are not ours.
export LSAN_OPTIONS="suppressions=$here/../lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

# The X server picks a free display and writes its number once it accepts clients. A display
# number that another session has just given up can be lost again while the old server ends
# (it removes the socket the new one made), so a display that turns unreachable before the
# window manager is up is replaced by a fresh one, at most three times.
# stop_pid <pid>: asks a process to end and, after 5 s, ends it; it counts as ended once it is
# gone or a zombie waiting to be collected.
stop_pid() {
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    case "$(ps -o stat= -p "$1" 2>/dev/null)" in ''|Z*) break ;; esac
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
start_display() {
  : >"$session/display"
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$session/display" 2>"$session/xvfb.log" &
  xvfb_pid=$!
  wait_for 150 test -s "$session/display" || { failure="Xvfb did not start: $(cat "$session/xvfb.log")"; return 1; }
  export DISPLAY=":$(head -n 1 "$session/display")"
  # The number comes as soon as the server listens; clients are served a moment later.
  wait_for 100 xwininfo -root || { failure="Xvfb on $DISPLAY accepts no client"; return 1; }
  openbox >"$session/openbox.log" 2>&1 &
  openbox_pid=$!
  wait_for 150 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || {
    failure="openbox did not start on $DISPLAY ($(kill -0 "$openbox_pid" 2>/dev/null && echo running || echo ended)); the root window says: $(xprop -root _NET_SUPPORTING_WM_CHECK 2>&1); $(cat "$session/openbox.log")"
    return 1
  }
}
for attempt in 1 2 3; do
  xvfb_pid='' openbox_pid='' failure=''
  if start_display; then
    pids+=("$xvfb_pid" "$openbox_pid")
    break
  fi
  [ -n "$openbox_pid" ] && stop_pid "$openbox_pid"
  [ -n "$xvfb_pid" ] && stop_pid "$xvfb_pid"
  echo "desktop: attempt $attempt: $failure" >&2
  [ "$attempt" = 3 ] && exit 1
done

dbus-daemon --session --address="unix:path=$session/runtime/bus" --nofork --nopidfile \
  --print-address=6 6>"$session/bus" 2>"$session/dbus.log" &
pids+=($!)
wait_for 100 test -s "$session/bus" || { echo "desktop: the session bus did not start" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$session/bus")
export DBUS_SESSION_BUS_ADDRESS

case "$tray" in
  xembed)
    trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
      >"$session/trayer.log" 2>&1 &
    pids+=($!)
    wait_for 150 sh -c 'xwininfo -root -tree | grep -q "(\"panel\" \"trayer\")"' ||
      { echo "desktop: trayer did not start" >&2; exit 1; }
    ;;
  sni)
    /usr/bin/python3 "$here/fake_sni_watcher.py" --lifetime 600 >"$session/watcher.log" 2>&1 &
    pids+=($!)
    wait_for 100 sh -c 'dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.kde.StatusNotifierWatcher | grep -q "boolean true"' ||
      { echo "desktop: the StatusNotifier watcher did not start" >&2; cat "$session/watcher.log" >&2; exit 1; }
    ;;
esac

export CORVANE_DESKTOP_SESSION="$session" CORVANE_DESKTOP_PROGRAM="$session/bin/Corvane"
export CORVANE_DESKTOP_TRAY="$tray"
set +e
timeout --kill-after=10 "${CORVANE_DESKTOP_TIMEOUT:-300}" "$@"
rc=$?
set -e
exit "$rc"
