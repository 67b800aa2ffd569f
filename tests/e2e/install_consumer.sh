#!/usr/bin/env bash
# Installs the build into a temporary prefix and shows that an outside program that sets no C++
# standard builds against the shared and the static libquarn, both through find_package(quarn)
# and through pkg-config, and that each works; that the shared library exports the API and
# nothing else; and that the installed tool needs no libquarn.so.2 at start-up.
# (tests/e2e/packages.sh builds the same programs against the Debian packages.)
# Needs SOURCE_DIR and BUILD_DIR (a configured and built tree).
set -euo pipefail

: "${SOURCE_DIR:?path of the source tree}"
: "${BUILD_DIR:?path of the build tree}"
ZORVANE=${ZORVANE:-unused}
source "$SOURCE_DIR/tests/e2e/lib.sh"
source "$SOURCE_DIR/tests/e2e/consumer/consumers.sh"
need cmake pkg-config qpdf c++ readelf nm c++filt
make_workdir install
PREFIX=$WORK/prefix

cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$WORK/install.log"

# What an installed libquarn consists of.
LIBDIR=$(find "$PREFIX" -name libquarn.a -printf '%h\n' | head -n 1)
[ -n "$LIBDIR" ] || { echo "no libquarn.a under $PREFIX" >&2; exit 1; }
for file in "$PREFIX/bin/zorvane" "$LIBDIR/pkgconfig/libquarn.pc" "$LIBDIR/pkgconfig/libquarn-static.pc" \
    "$LIBDIR/libquarn.so.2.4.0" "$LIBDIR/libquarn.so.2" "$LIBDIR/libquarn.so" \
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

# The shared library: the real file, its SONAME and link name as links to it; it exports namespace
# quarn only (no helper of the sources, no standard library code, nothing of zlib, HarfBuzz...).
die() { echo "$*" >&2; exit 1; }
dynamic() { readelf -d "$1" | sed -n "s/.*($2) *//p"; }
[ "$(cd "$LIBDIR" && readlink libquarn.so libquarn.so.2 | tr '\n' ' ')" = "libquarn.so.2 libquarn.so.2.4.0 " ] || die "libquarn.so links wrong"
[ "$(dynamic "$LIBDIR/libquarn.so.2.4.0" SONAME)" = "Library soname: [libquarn.so.2]" ] || die "SONAME wrong"
nm -D --defined-only "$LIBDIR/libquarn.so.2" | cut -d' ' -f3- | c++filt >"$WORK/exports.txt"
api='^(quarn::|(typeinfo|typeinfo name|vtable|VTT|construction vtable|guard variable) for quarn::|(non-virtual|virtual|covariant return) thunk to quarn::|TLS (init|wrapper) function for quarn::|QUARN_2$)'
foreign=$(grep -Ev "$api" "$WORK/exports.txt"; grep WalkDepthGuard "$WORK/exports.txt" || true)
[ -z "$foreign" ] || die "exported beyond the API: $(echo "$foreign" | head -5)"
for symbol in 'quarn::CPDFLib::CPDFLib(' 'quarn::CPDFLibBase::OpenDoc(' 'vtable for quarn::CPDFDoc@' 'typeinfo for quarn::CPDFObject@'; do
  grep -qF "$symbol" "$WORK/exports.txt" || die "not exported: $symbol"
done

# The installed tool carries libquarn's objects (its start-up maps no libquarn.so.2), with no
# RPATH under a system prefix.
links_shared() { dynamic "$1" NEEDED | grep 'libquarn\.so\.2\]' >/dev/null; }  # no -q: no SIGPIPE
! links_shared "$PREFIX/bin/zorvane" || die "installed zorvane loads libquarn.so.2"
[ -z "$(dynamic "$PREFIX/bin/zorvane" R.*PATH)" ] || die "installed zorvane keeps a build-tree RPATH"
# The build-tree tool finds it beside itself, and its search path has no empty entry: the loader
# would read one as the current directory and load a library planted there.
build_path=$(dynamic "$ZORVANE" R.*PATH | sed -n 's/.*\[\(.*\)\]/\1/p')
[ -z "$build_path" ] || case ":$build_path:" in
  *::*) die "build-tree zorvane searches the current directory for libraries: '$build_path'" ;;
esac
check_consumers "$PREFIX" "$LIBDIR" "$WORK/consumers"
finish
