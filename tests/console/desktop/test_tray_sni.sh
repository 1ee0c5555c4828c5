#!/usr/bin/env bash
# The program with a D-Bus (StatusNotifierItem) tray, as KDE Plasma, GNOME with AppIndicator or
# any Wayland desktop has, played by fake_sni_watcher.py and sni_client.py.  Such a tray sends a
# single activation, never a double click.  With "minimize to the tray" on: minimising registers
# the program's item and hides the main window; Activate (a click) brings it back; the item's
# context menu (com.canonical.dbusmenu) has Restore, which brings it back, and Quit, which ends
# the program.
#
# test_tray_sni.sh <path of the Corvane program>
set -uo pipefail
desktop_dir=$(cd "$(dirname "$0")" && pwd)
[ $# -eq 1 ] || { echo "usage: $0 <path of the Corvane program>" >&2; exit 2; }
if [ -z "${CORVANE_DESKTOP_SESSION:-}" ]; then
  exec bash "$desktop_dir/run_desktop_session.sh" --tray sni "$1" bash "$desktop_dir/test_tray_sni.sh" "$1"
fi
# shellcheck source=desktop_lib.sh
source "$desktop_dir/desktop_lib.sh"
client() { timeout 20 /usr/bin/python3 "$desktop_dir/sni_client.py" "$@"; }

# Minimises and waits for the item; sets item.
minimise_to_item() {
  minimise_main_window
  if ! wait_for 100 main_window_hidden; then
    fail "$1: minimising left the main window on screen (the tray was not used)"
    finish
  fi
  if ! item=$(client wait-item --timeout 15); then
    fail "$1: the main window is hidden but the program registered no item with the watcher"
    finish
  fi
  pass "$1: minimised, the main window is hidden, item $item registered"
}

# Reports the item's menu; ends the run when it has none, since then nothing can bring the
# program back.
require_menu() {
  local path labels
  path=$(client menu-path "$item" 2>&1)
  if ! labels=$(client menu-labels "$item" 2>&1); then
    fail "the item has no context menu (its Menu property is $path): $labels"
    return 1
  fi
  say "menu $path: $(tr '\n' '|' <<<"$labels")"
}

set_preference MINIMIZE 1
start_program
say "main window $main_window"

minimise_to_item "activate"
client activate "$item" 100 10 || fail "Activate was refused"
if wait_for 100 main_window_shown; then
  pass "Activate (a single click) brought the main window back"
else
  fail "Activate (a single click, all a StatusNotifier tray sends) did not bring the main window" \
    "back; the program restores only on a double click"
  require_menu || finish
  # Still hidden: try the menu's Restore before giving up.
  client menu-click "$item" Restore >/dev/null 2>&1 || true
  wait_for 50 main_window_shown || { fail "the program cannot be brought back from the tray"; finish; }
fi

minimise_to_item "menu Restore"
require_menu || finish
if client menu-click "$item" Restore && wait_for 100 main_window_shown; then
  pass "the menu's Restore brought the main window back"
else
  fail "the menu's Restore did not bring the main window back"
  finish
fi

minimise_to_item "menu Quit"
if client menu-click "$item" Quit && wait_for 100 sh -c "! kill -0 $program_pid 2>/dev/null"; then
  wait "$program_pid"
  rc=$?
  if [ "$rc" -eq 0 ]; then pass "the menu's Quit ended the program (exit code 0)"; else fail "Quit ended the program with exit code $rc"; fi
else
  fail "the menu's Quit did not end the program"
fi
finish
