#!/usr/bin/env bash
# bench.sh [build-dir] [--rounds=N] [--batch-ms=N] [--filter=TEXT]: builds the benchmarks and runs them all in
# one go: the hashes and checksums, then the ciphers, each printing its ratio table (ours / best
# peer, measured side by side), then the remote client when its real peers are set up. The
# machine's load is printed before and after, since it bears on every figure.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build}
[[ $# -gt 0 ]] && shift
bash "$here/scripts/install-deps.sh"
if [[ ! -f "$dir/CMakeCache.txt" ]]; then
  cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_GUI=OFF >/dev/null
fi
targets=(bench_hashes bench_ciphers)
cmake --build "$dir" --target "${targets[@]}" --parallel "$(nproc)"
# run <program>: the options go to programs built on the shared interleaved runner
# (--rounds=N --batch-ms=N --filter=TEXT); a program that does not take them runs without.
run() {
  if "$1" --rounds=1 --filter=/no-such-case/ >/dev/null 2>&1; then
    "$1" "${options[@]}"
  else
    "$1"
  fi
}
options=("$@")
echo "== load before: $(uptime)"
run "$dir/bench/bench_hashes"
echo
run "$dir/bench/bench_ciphers"
if [[ "${CORVANE_BENCH_REMOTE:-0}" == 1 ]]; then
  cmake --build "$dir" --target bench_remote --parallel "$(nproc)"
  "$dir/bench/bench_remote"
fi
echo "== load after: $(uptime)"
