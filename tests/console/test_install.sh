#!/usr/bin/env bash
# The installation: `cmake --install` of the build tree into a temporary folder (DESTDIR) under
# the prefix /usr, as a package build does.  It must put the program, its library, the help file
# and a valid XDG menu entry with the program's icon in place; the installed program must bind
# the installed library (not the build tree's), find the installed help file, pass the smoke run
# of the real program, and write nothing under the prefix while it runs (as root, as the tests run).
#
# test_install.sh <build folder>
set -euo pipefail
build=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
for tool in desktop-file-validate readelf ldd; do
  command -v "$tool" >/dev/null || { echo "install: $tool is missing (scripts/install-deps.sh installs it)"; exit 1; }
done
fail() { echo "install: FAIL: $*"; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 || { cat "$stage.log"; rm -f "$stage.log"; fail "cmake --install failed"; }
rm -f "$stage.log"
root="$stage/usr"

for file in bin/Corvane lib/libCorvaneDll.so share/corvane/CORVANE.HLP share/applications/corvane.desktop; do
  [ -f "$root/$file" ] || fail "nothing installed at $file"
done
[ -x "$root/bin/Corvane" ] || fail "bin/Corvane is not executable"
[ ! -e "$root/bin/libCorvaneDll.so" ] || fail "a copy of the library sits beside the installed program"
cmp -s "$here/../../console/CORVANE.HLP" "$root/share/corvane/CORVANE.HLP" || fail "the installed help file differs from the shipped one"

# The menu entry: valid, starting the installed program, with an icon the icon theme finds.
entry="$root/share/applications/corvane.desktop"
desktop-file-validate "$entry" || fail "the menu entry is not a valid desktop entry"
grep -qx 'Exec=/usr/bin/Corvane' "$entry" || fail "the menu entry does not start /usr/bin/Corvane: $(grep '^Exec=' "$entry")"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -n "$icon" ] || fail "the menu entry names no icon"
icons=$(find "$root/share/icons/hicolor" -path "*/apps/$icon.*" -type f 2>/dev/null)
[ -n "$icons" ] || fail "no picture named $icon in the hicolor icon theme"
echo "install: icon $icon: $(sed "s|$root/share/icons/hicolor/||" <<<"$icons" | tr '\n' ' ')"

# The installed program binds the installed library, through its own folder.
runpath=$(readelf -d "$root/bin/Corvane" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]/\2/p')
case ":$runpath:" in *':$ORIGIN/../lib:'*) ;; *) fail "the program's run path ($runpath) does not lead to ../lib" ;; esac
bound=$(ldd "$root/bin/Corvane" | awk '$1 == "libCorvaneDll.so" {print $3}')
[ "$(readlink -f "$bound")" = "$(readlink -f "$root/lib/libCorvaneDll.so")" ] ||
  fail "the installed program binds $bound, not the installed library"
echo "install: the installed program binds $bound"

# The real program, run where it was installed, by root as Remote Shell needs: it writes nothing
# under the prefix (its files go to the per-user data folder, which the smoke run checks).
[ "$(id -u)" -eq 0 ] || echo "install: not run as root; the prefix is checked for this user"
before=$(cd "$stage" && find . -printf '%p %s %T@\n' | sort)
bash "$here/test_program_smoke.sh" --in-place "$root/bin/Corvane" || fail "the installed program's smoke run failed"
after=$(cd "$stage" && find . -printf '%p %s %T@\n' | sort)
[ "$before" = "$after" ] || fail "the installed program wrote under its prefix: $(diff <(echo "$before") <(echo "$after") | sed -n 's/^> //p' | tr '\n' ' ')"
echo "install: ok"
