#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test (Debian 12, as root).
set -euo pipefail
packages=(
  # build
  cmake ninja-build g++ pkg-config clang libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # test-only oracles: independent implementations of the standard algorithms
  libcrypto++-dev libmhash-dev librhash-dev
  # benchmark peer: Botan 2 (multi-block cipher code)
  libbotan-2-dev
  # the desktop program
  qt6-base-dev xvfb xauth xfonts-base
  # a tray host on the virtual display, for the notification-area smoke test
  trayer
  # drives the real program in its smoke test (finds the window, types its Quit shortcut)
  xdotool
  # the remote tests' real rexec/rsh peers: the test set-up unpacks the package rsh-server for
  # them (scripts/prepare-remote-test-peers.sh); installed, it would bring an inetd that serves
  # rexec and rsh to the whole network
  socat passwd
  # Debian's own rsh client, beside which the remote benchmark measures ours
  rsh-client
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
