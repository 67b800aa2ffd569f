#!/usr/bin/env bash
# Sets the machine up, builds (warnings are errors), runs every unit and end-to-end test, checks
# that libquarn.so keeps the ABI of its SONAME (abi/), then the unit tests and the fuzz seed
# corpora once more under AddressSanitizer and UBSan.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
export BUILD_DIR

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh"
(cd "$BUILD_DIR" && ctest --output-on-failure -j2)
bash "$ROOT/scripts/abi_check.sh"
bash "$ROOT/scripts/sanitize.sh"
