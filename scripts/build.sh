#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configures (once) and builds with Ninja.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
