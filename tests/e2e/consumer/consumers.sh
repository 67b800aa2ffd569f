# Sourced by the end-to-end scripts (after lib.sh): builds the consumer program against an
# installed libquarn, through its CMake package and through pkg-config, with the shared and with
# the static library, setting no C++ standard of its own, and checks that each build works.

links_shared() { readelf -d "$1" | grep 'NEEDED.*libquarn\.so\.2\]' >/dev/null; }  # no -q: no SIGPIPE

# check_consumer HOW KIND BINARY: the consumer, linked KIND (shared or static), works.
check_consumer() {
  local how=$1 kind=$2 binary=$3 linked=static pages out
  [ -x "$binary" ] || { fail "$how $kind consumer was not built"; return; }
  links_shared "$binary" && linked=shared
  [ "$linked" = "$kind" ] || fail "$how $kind consumer is linked $linked"
  out=${binary}.pdf
  pages=$("$binary" "$SOURCE_DIR/samples/sample.pdf" "$out") || true
  [ "$pages" = "pages: 3" ] || fail "$how $kind consumer printed: $pages"
  qpdf --check "$out" >/dev/null || fail "$how $kind consumer wrote a broken PDF"
}

# check_consumers PREFIX LIBDIR WORKDIR: the four builds against the libquarn installed under
# PREFIX (its libraries in LIBDIR), made in WORKDIR.
check_consumers() {
  local prefix=$1 libdir=$2 dir=$3 flags
  mkdir -p "$dir"
  # 1. CMake package: quarn::quarn is the shared library, quarn::quarn_static the static one.
  if cmake -S "$SOURCE_DIR/tests/e2e/consumer" -B "$dir/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
      >"$dir/cmake.log" 2>&1 && cmake --build "$dir/cmake" >>"$dir/cmake.log" 2>&1; then
    LD_LIBRARY_PATH=$libdir check_consumer find_package shared "$dir/cmake/quarn_consumer"
    check_consumer find_package static "$dir/cmake/quarn_consumer_static"
  else
    fail "the CMake consumer does not build against $prefix: $(grep -m 3 -i error "$dir/cmake.log")"
  fi
  # 2. pkg-config, with nothing but the installed tree to go by: libquarn links the shared
  # library, libquarn-static the static one.
  local module kind
  for module in libquarn libquarn-static; do
    kind=shared && [ "$module" = libquarn-static ] && kind=static
    flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs "$module") ||
      { fail "pkg-config knows no $module under $libdir"; continue; }
    # shellcheck disable=SC2086  # the flags are a list
    if c++ -o "$dir/pkg-config-$kind" "$SOURCE_DIR/tests/e2e/consumer/consumer.cpp" $flags \
        2>"$dir/pkg-config-$kind.log"; then
      LD_LIBRARY_PATH=$libdir check_consumer pkg-config "$kind" "$dir/pkg-config-$kind"
    else
      fail "the pkg-config consumer does not build with $module: $(grep -m 3 error "$dir/pkg-config-$kind.log")"
    fi
  done
}
