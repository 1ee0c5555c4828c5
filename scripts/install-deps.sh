#!/usr/bin/env bash
# install-deps.sh [--program]: installs the Debian packages the project needs (Debian 12, as root).
#   --program   only what building and running the program needs
#   (none)      that, and everything the tests, benchmarks and fuzz targets need
set -euo pipefail
program=(
  # build
  cmake ninja-build g++ pkg-config
  # the desktop program (libqt6svg6 is Qt's SVG image and icon plugin, which draws the tool bar
  # pictures and the program's icon), and a virtual display for a machine without one
  qt6-base-dev libqt6svg6 xvfb xauth xfonts-base
)
tests=(
  # the fuzz targets
  clang libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # test-only oracles: independent implementations of the standard algorithms
  libcrypto++-dev libmhash-dev librhash-dev
  # benchmark-only peers: Botan 2 and zlib (CRC-32)
  libbotan-2-dev zlib1g-dev
  # a tray host on the virtual display, for the notification-area smoke test
  trayer
  # drives the real program in its smoke test (finds the window, types its Quit shortcut)
  xdotool
  # the desktop tests (tests/console/desktop): a window manager, window inspection and pictures
  # (xwininfo, xprop, xwd), a private session bus, and the fake StatusNotifier watcher and host
  openbox x11-utils x11-apps dbus-daemon dbus-bin python3 python3-dbus python3-gi
  # checks the menu entry that the installation test installs
  desktop-file-utils
  # the desktop's "open" (xdg-open), which Log File..., Output File... and the About window's web
  # address are tested with, and without
  xdg-utils
  # the remote tests' real rexec/rsh peers: the test set-up unpacks the package rsh-server for
  # them (scripts/prepare-remote-test-peers.sh); installed, it would bring an inetd that serves
  # rexec and rsh to the whole network
  socat passwd
  # Debian's own rsh client, beside which the remote benchmark measures ours
  rsh-client
  # the format check (scripts/format.sh): clang-format 14
  clang-format-14
)
packages=("${program[@]}")
if [ "${1:-}" != "--program" ]; then
  packages+=("${tests[@]}")
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
