#!/usr/bin/env bash
# Smoke test of the real program on a virtual display: Corvane is bound to libCorvaneDll.so by the
# loader and finds it beside itself; it starts, shows its main window "Corvane 2.0", opens its
# Preferences, About and help windows, quits through its own Quit shortcut (Ctrl+Alt+Q, typed through
# XTEST) while they are open, ends with exit code 0 and writes nothing to stderr (no Qt warnings).
#
# test_program_smoke.sh [--in-place] <path of the Corvane program>
#   The program runs from a folder of its own, with a copy of its library and help file beside it
#   (as a folder install has them); with --in-place it runs where it is (an installed program,
#   which finds them through its installation's folders, and keeps its files in the per-user data
#   folder, $XDG_DATA_HOME/Corvane/Corvane).
set -euo pipefail
in_place=0
if [ "${1:-}" = "--in-place" ]; then in_place=1; shift; fi
program=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || { echo "smoke: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done

# Linked at load time, found through $ORIGIN.
dynamic=$(readelf -d "$program")
grep -q 'NEEDED.*\[libCorvaneDll\.so\]' <<<"$dynamic" || { echo "smoke: libCorvaneDll.so is not a needed library"; exit 1; }
grep -q '\(RPATH\|RUNPATH\).*[:[]\$ORIGIN[]:]' <<<"$dynamic" || { echo "smoke: the program does not look beside itself"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program as installed: the program, its library and its help file in one folder of their own,
# and a home, configuration and runtime folder of the test's own.
mkdir -p "$work/bin" "$work/home" "$work/config" "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
run="$program"
if [ "$in_place" -eq 0 ]; then
  cp "$program" "$(dirname "$program")/libCorvaneDll.so" "$(dirname "$program")/CORVANE.HLP" "$work/bin/"
  run="$work/bin/Corvane"
fi

export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY
# A sanitizer build reports through its own options; Qt's D-Bus buffers are not ours.
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

cat > "$work/session.sh" <<'SESSION'
set -u
work=$1
"$2" >"$work/stdout" 2>"$work/stderr" &
pid=$!
wid=$(timeout 60 xdotool search --sync --onlyvisible --name '^Corvane 2\.0$' | head -n 1)
if [ -z "$wid" ]; then
  echo "smoke: no window named \"Corvane 2.0\" appeared"
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  exit 91
fi
echo "window: $(xdotool getwindowname "$wid")"
# The Preferences, About and help windows open (and stay open while the main window closes); the
# help window shows only when the program found its help file.
for shown in 'ctrl+alt+p:^Corvane 2\.0 - Preferences$' 'ctrl+alt+a:^About\.\.\.$' 'F1:^Corvane 2\.0 - Help$'; do
  xdotool windowfocus --sync "$wid" key --clearmodifiers "${shown%%:*}"
  if [ -z "$(timeout 30 xdotool search --sync --onlyvisible --name "${shown#*:}" | head -n 1)" ]; then
    echo "smoke: ${shown%%:*} showed no window ${shown#*:}"
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
    exit 93
  fi
done
xdotool windowfocus --sync "$wid" key --clearmodifiers ctrl+alt+q
# Bounded wait for the program to end by itself.
for _ in $(seq 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "smoke: the program did not end after Quit"
  kill -9 "$pid"; wait "$pid" 2>/dev/null
  exit 92
fi
wait "$pid"
SESSION

set +e
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/session.sh" "$work" "$run"
rc=$?
set -e
echo "exit code: $rc"
if [ -s "$work/stderr" ]; then
  echo "smoke: stderr was not empty:"
  cat "$work/stderr"
  exit 1
fi
[ "$rc" -eq 0 ] || exit 1
# The program made its preferences store and nothing else in the program folder.
[ -d "$work/config/Corvane" ] || { echo "smoke: the preferences store was not created"; exit 1; }
# An installed program keeps its files in the per-user data folder.
if [ "$in_place" -eq 1 ]; then
  [ -d "$work/data/Corvane/Corvane" ] || { echo "smoke: the installed program made no per-user data folder"; exit 1; }
fi
echo "smoke: ok"
