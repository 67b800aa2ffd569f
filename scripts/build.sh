#!/usr/bin/env bash
# Configures and builds into ./build (optimised, with symbols, warnings as errors): everything
# (zorvane, libquarn and the tests), or only the targets named as arguments, such as
# `scripts/build.sh zorvane` for the tool and the library it links.
# JOBS sets the number of parallel jobs (default: one per core).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
JOBS=${JOBS:-$(nproc)}
targets=()
for target in "$@"; do targets+=(--target "$target"); done

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVANE_STRICT=ON
cmake --build "$BUILD_DIR" -j"$JOBS" "${targets[@]}"
echo "build.sh: built into $BUILD_DIR (tool: $BUILD_DIR/zorvane)"
