#!/usr/bin/env bash
# bench.sh [build-dir] [--rounds=N] [--batch-ms=N] [--filter=TEXT] [--processes=N]: builds the
# benchmarks and runs them all in one go: the hashes and checksums, then the ciphers, each
# printing its ratio table (ours / best peer, measured side by side), then the remote client when
# its real peers are set up. The machine's load is printed before and after each program, since it
# bears on every figure.
#
# Every program runs pinned to one processor (CORVANE_BENCH_CPU, by default the last one), so
# that ours and its peers always meet the same core and caches; other work on the machine then
# falls on the interleaved batches alike. A program built on the shared runner (bench_report.h)
# measures in several fresh processes one after the other, CORVANE_BENCH_PROCESSES of them (5 by
# default; --processes=N overrides it), and prints the median over them, so that one noisy run
# cannot swing the table.
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
cpu=${CORVANE_BENCH_CPU:-$(($(nproc) - 1))}
pin=(taskset -c "$cpu")
# run <program>: the options go to programs built on the shared interleaved runner
# (--rounds=N --batch-ms=N --filter=TEXT --processes=N); a program that does not take them runs
# without. Either way it runs pinned.
run() {
  echo "== $(basename "$1") on processor $cpu; load before: $(uptime)"
  if "$1" --rounds=1 --processes=1 --filter=/no-such-case/ >/dev/null 2>&1; then
    "${pin[@]}" "$1" "--processes=${CORVANE_BENCH_PROCESSES:-5}" "${options[@]}"
  else
    "${pin[@]}" "$1"
  fi
  echo "== $(basename "$1") done; load after: $(uptime)"
}
options=("$@")
run "$dir/bench/bench_hashes"
echo
run "$dir/bench/bench_ciphers"
if [[ "${CORVANE_BENCH_REMOTE:-0}" == 1 ]]; then
  cmake --build "$dir" --target bench_remote --parallel "$(nproc)"
  "$dir/bench/bench_remote"
fi
