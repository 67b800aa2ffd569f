#!/usr/bin/env bash
# Installs the build into a temporary prefix and shows that an outside program builds against
# libquarn both through find_package(quarn) and through pkg-config, and that it works.
# Needs SOURCE_DIR and BUILD_DIR (a configured and built tree).
set -euo pipefail

: "${SOURCE_DIR:?path of the source tree}"
: "${BUILD_DIR:?path of the build tree}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"
need cmake pkg-config qpdf c++
make_workdir install
PREFIX=$WORK/prefix

cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$WORK/install.log"

# What an installed libquarn consists of.
LIBDIR=$(find "$PREFIX" -name libquarn.a -printf '%h\n' | head -n 1)
[ -n "$LIBDIR" ] || { echo "no libquarn.a under $PREFIX" >&2; exit 1; }
for file in "$PREFIX/bin/zorvane" "$LIBDIR/pkgconfig/libquarn.pc" \
    "$LIBDIR/cmake/quarn/quarnConfig.cmake" "$LIBDIR/cmake/quarn/quarnConfigVersion.cmake" \
    "$PREFIX/include/quarn/pdf/document/doc.h" "$PREFIX/include/quarn/pdf/library/pdf_lib.h"; do
  [ -e "$file" ] || { echo "not installed: $file" >&2; exit 1; }
done

# Only headers of the API are installed, and each compiles on its own (so none of them reaches
# for a header that was left out).
[ -z "$(find "$PREFIX/include" -name '*.inc')" ] || { echo "generated data installed" >&2; exit 1; }
for header in $(cd "$PREFIX/include/quarn" && find . -name '*.h' | sort); do
  c++ -std=c++20 -fsyntax-only -I "$PREFIX/include/quarn" -x c++ - <<<"#include \"${header#./}\"" ||
    { echo "installed header does not compile on its own: $header" >&2; exit 1; }
done

check_consumer() {
  local how=$1 binary=$2
  local output=$WORK/out-$how.pdf
  local pages
  pages=$("$binary" "$SOURCE_DIR/samples/sample.pdf" "$output")
  [ "$pages" = "pages: 3" ] || { echo "$how consumer printed: $pages" >&2; exit 1; }
  qpdf --check "$output" >/dev/null || { echo "$how consumer wrote a broken PDF" >&2; exit 1; }
  echo "install_consumer.sh: consumer built with $how works"
}

# 1. CMake package.
cmake -S "$SOURCE_DIR/tests/e2e/consumer" -B "$WORK/cmake-build" \
  -DCMAKE_PREFIX_PATH="$PREFIX" >"$WORK/cmake-configure.log"
cmake --build "$WORK/cmake-build" >"$WORK/cmake-build.log"
check_consumer find_package "$WORK/cmake-build/quarn_consumer"

# 2. pkg-config, with nothing but the installed prefix to go by.
export PKG_CONFIG_PATH=$LIBDIR/pkgconfig
[ "$(pkg-config --modversion libquarn)" = "2.4.0" ] || { echo "pkg-config version wrong" >&2; exit 1; }
# shellcheck disable=SC2046
c++ -o "$WORK/pkg-config-consumer" "$SOURCE_DIR/tests/e2e/consumer/consumer.cpp" \
  $(pkg-config --cflags --libs libquarn)
check_consumer pkg-config "$WORK/pkg-config-consumer"
