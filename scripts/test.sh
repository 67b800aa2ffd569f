#!/usr/bin/env bash
# Sets the machine up, builds, and runs every unit and end-to-end test.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh"
cd "$BUILD_DIR"
ctest --output-on-failure -j2
