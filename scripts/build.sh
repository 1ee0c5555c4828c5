#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configures and builds with Ninja: every target, or
# only $CORVANE_TARGET and what it needs when that is set.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=$1; shift
cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)" ${CORVANE_TARGET:+--target "$CORVANE_TARGET"}
