#!/usr/bin/env bash
# Compares the ABI of the built libquarn.so with the one kept in abi/ for its SONAME, and fails
# when a program linked against the released library could break: a function or variable gone,
# a changed signature, or a changed layout of a type the installed headers define. Additions pass.
#
# The baseline is abi/<SONAME>.abi.xz, made by abidw from the library and the installed headers
# only (a type defined in a header that is not installed, such as a class's private members,
# cannot change the ABI). A change that breaks the ABI needs, in the same commit, a new major
# version in CMakeLists.txt (the SONAME's number) and the baseline for it: build, then run
#   scripts/abi_check.sh --update
# which writes abi/<new SONAME>.abi.xz; remove the old one and commit both with the change.
# --update refuses to overwrite the baseline of the SONAME it already has (that would accept a
# break without a new SONAME) unless given --force, for a baseline whose only changes are
# compatible (additions).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
mode=check
force=no
for arg in "$@"; do
  case $arg in
    --update) mode=update ;;
    --force) force=yes ;;
    *) echo "usage: abi_check.sh [--update [--force]]" >&2; exit 2 ;;
  esac
done

for tool in abidw abidiff readelf xz; do
  command -v "$tool" >/dev/null || { echo "abi_check.sh: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

library=$(readlink -f "$BUILD_DIR/libquarn.so" 2>/dev/null || true)
[ -f "$library" ] || { echo "abi_check.sh: no $BUILD_DIR/libquarn.so: build it first" >&2; exit 1; }
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ -n "$soname" ] || { echo "abi_check.sh: $library has no SONAME" >&2; exit 1; }
baseline=$ROOT/abi/$soname.abi.xz

if [ "$mode" = update ] && [ -f "$baseline" ] && [ "$force" = no ]; then
  echo "abi_check.sh: $baseline exists; a break needs a new major version (or --force)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The headers install.cmake installs: every header of pdf/ and platform/ but the internals it
# leaves out (keep the two lists in step).
(cd "$ROOT" && find pdf platform -name '*.h' ! -path '*/data/*' ! -name builtin_data.h \
  ! -name filter_chars.h ! -name walk_guard.h ! -name crypto_library.h ! -name '*_members.h' \
  -exec cp --parents {} "$work/" \;)
mkdir -p "$work/headers" && mv "$work/pdf" "$work/platform" "$work/headers/"

# No locations, build directory or file name in the output, so that it depends on the sources
# and the compiler only.
abidw --no-show-locs --no-comp-dir-path --no-corpus-path --drop-private-types \
  --headers-dir "$work/headers" --out-file "$work/current.abi" "$library"

if [ "$mode" = update ]; then
  mkdir -p "$ROOT/abi"
  xz -9 -c "$work/current.abi" >"$baseline"
  echo "abi_check.sh: wrote $baseline"
  exit 0
fi

if [ ! -f "$baseline" ]; then
  echo "abi_check.sh: no baseline $baseline for $soname: a new major version needs its" \
    "baseline in the same commit (scripts/abi_check.sh --update)" >&2
  exit 1
fi
xz -dc "$baseline" >"$work/baseline.abi"

# abidiff's status is a bit mask: 1 error, 2 usage, 4 an ABI change, 8 an incompatible one.
# Added functions and variables are left out of the report: they break nothing.
status=0
abidiff --no-added-syms --no-unreferenced-symbols "$work/baseline.abi" "$work/current.abi" \
  >"$work/report" || status=$?
if [ "$status" -ne 0 ]; then
  cat "$work/report"
  if [ $((status & 3)) -ne 0 ]; then
    echo "abi_check.sh: abidiff failed (status $status)" >&2
  else
    echo "abi_check.sh: the ABI of $soname changed (above): keep it, or raise the major version" \
      "and make its baseline in the same commit (see the head of scripts/abi_check.sh)" >&2
  fi
  exit 1
fi
echo "abi_check.sh: $soname matches $baseline"
