#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the plain build, the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the fuzz targets for a bounded time each; first
# of all, that the tree follows its format.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
bash "$here/scripts/install-deps.sh"
# The tree follows its .clang-format: a file that does not fails the run before anything is built.
echo "== format"
bash "$here/scripts/format.sh" --check
export QT_QPA_PLATFORM=offscreen
passed=0
failed=0
# run_ctest <build-dir> [env...]: runs the suite and adds its counts to the totals.
run_ctest() {
  local dir=$1; shift
  local log
  log=$(mktemp)
  (cd "$dir" && env "$@" ctest --output-on-failure -j "$jobs") | tee "$log"
  local line
  line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  local f t
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + t - f))
  failed=$((failed + f))
}

echo "== build and test (RelWithDebInfo)"
bash "$here/scripts/build.sh" "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_TESTS=ON
run_ctest "$here/build"

echo "== build and test under AddressSanitizer + UndefinedBehaviorSanitizer"
bash "$here/scripts/build.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCORVANE_SANITIZE=ON -DCORVANE_BENCH=OFF
run_ctest "$here/build-asan" ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== fuzz targets (bounded time each)"
bash "$here/scripts/build.sh" "$here/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCORVANE_FUZZ=ON -DCORVANE_GUI=OFF -DCORVANE_BENCH=OFF
bash "$here/scripts/fuzz.sh" "$here/build-fuzz" "${CORVANE_FUZZ_SECONDS:-5}"
echo "tests: $passed passed, $failed failed"
