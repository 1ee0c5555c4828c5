#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the plain build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time each.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

echo "== build and test (RelWithDebInfo)"
bash "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$here/build" && ctest --output-on-failure -j "$jobs")

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
bash "$here/scripts/build.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j "$jobs")

echo "== fuzz targets (bounded time each)"
bash "$here/scripts/build.sh" "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF
bash "$here/scripts/fuzz.sh" "$here/build-fuzz" "${CORVANE_FUZZ_SECONDS:-5}"
