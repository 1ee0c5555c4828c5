#!/usr/bin/env bash
# fuzz.sh <build-dir> <seconds>: runs every fuzz target for the given time; a crash fails the run.
set -euo pipefail
dir=$1; seconds=$2
shopt -s nullglob
count=0
for target in "$dir"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  corpus=$(mktemp -d)
  echo "-- $(basename "$target") (${seconds}s)"
  "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
  count=$((count + 1))
done
echo "fuzz: $count targets ran without a crash"
