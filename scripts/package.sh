#!/usr/bin/env bash
# Sets the machine up, builds, and makes the Debian packages zorvane, libquarn2 and libquarn-dev
# into out/packages (CPack's DEB generator; see cmake/packaging.cmake).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build}
PACKAGE_DIR=${PACKAGE_DIR:-$ROOT/out/packages}
export BUILD_DIR

bash "$ROOT/scripts/setup.sh"
bash "$ROOT/scripts/build.sh"
mkdir -p "$PACKAGE_DIR"
(cd "$BUILD_DIR" && cpack -G DEB -B "$PACKAGE_DIR")
rm -rf "$PACKAGE_DIR/_CPack_Packages"
echo "package.sh: packages in $PACKAGE_DIR:"
ls -1 "$PACKAGE_DIR"/*.deb
