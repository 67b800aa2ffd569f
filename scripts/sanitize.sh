#!/usr/bin/env bash
# Builds the library, the tool and the unit tests with clang under AddressSanitizer and UBSan,
# and runs the unit tests and every fuzz target's seed corpus once (any report fails the run).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SAN_DIR=${SANITIZE_BUILD_DIR:-$ROOT/build-asan}

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$SAN_DIR" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DZORVANE_SANITIZE=ON
cmake --build "$SAN_DIR" -j2
cd "$SAN_DIR"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
ctest --output-on-failure -j2 -E '^e2e\.'
echo "sanitize.sh: unit tests and fuzz seeds clean under ASan and UBSan"
