#!/usr/bin/env bash
# Installs what is needed, builds, and runs the program (under Xvfb when there is no display).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" --program
# Only the program and what it links (the cipher, settings and remote libraries, libCorvaneDll.so
# and the help file): tests, benchmarks and fuzz targets are the test command's.
CORVANE_TARGET=Corvane bash "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCORVANE_TESTS=OFF
program="$here/build/console/Corvane"
# Qt wants a private runtime directory; a root shell or a bare container has none set.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="/tmp/runtime-$(id -u)"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 0700 "$XDG_RUNTIME_DIR"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$program"
fi
exec "$program"
