#!/usr/bin/env bash
# Configures and builds zorvane, libquarn and the tests into ./build (optimised, with symbols).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZORVANE_STRICT=ON
cmake --build "$BUILD_DIR" -j2
echo "build.sh: built into $BUILD_DIR (tool: $BUILD_DIR/zorvane)"
