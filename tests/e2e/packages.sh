#!/usr/bin/env bash
# The Debian packages: cpack makes zorvane, libquarn2 and libquarn-dev from the built tree; each
# holds its own files, depends on what its binaries load (dpkg-shlibdeps) and on libquarn2 at this
# very version. Unpacked with dpkg into a scratch root, they work: the tool stamps a sample that
# qpdf accepts, its man page renders without warnings, a program builds against libquarn-dev.
# Needs SOURCE_DIR and BUILD_DIR (a configured and built tree); root is not needed.
set -uo pipefail

source "$(dirname "$0")/lib.sh"
: "${BUILD_DIR:?path of the build tree}"
need cpack dpkg dpkg-deb dpkg-shlibdeps qpdf man readelf pkg-config c++
make_workdir packages
cd "$WORK" || exit 1

if ! cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/debs" >cpack.log 2>&1; then
  echo "cpack failed: $(tail -20 cpack.log)" >&2
  exit 1
fi
VERSION=2.4.0-1
deb() { echo "$WORK/debs/$1_${VERSION}_$(dpkg --print-architecture).deb"; }
for package in zorvane libquarn2 libquarn-dev; do
  [ -f "$(deb $package)" ] || { echo "no package $package among: $(ls debs)" >&2; exit 1; }
  dpkg-deb -c "$(deb $package)" | awk '{ print $6 }' >"$package.files"
done

# What each package holds (has: a line that matches; lacks: none that starts so).
while read -r package rule path; do
  case $rule in
    has) grep -Eqx "$path" "$package.files" || fail "$package lacks $path" ;;
    lacks) ! grep -Eq "^$path" "$package.files" || fail "$package holds $(grep -E "^$path" "$package.files" | head -1)" ;;
  esac
done <<'TABLE'
zorvane has ./usr/bin/zorvane
zorvane has ./usr/share/man/man1/zorvane\.1
zorvane has ./usr/share/bash-completion/completions/zorvane
zorvane lacks ./usr/(lib|include)/
libquarn2 has ./usr/lib/(.*/)?libquarn\.so\.2\.4\.0
libquarn2 has ./usr/lib/(.*/)?libquarn\.so\.2
libquarn2 lacks ./usr/(bin|include|share/man)/
libquarn2 lacks ./usr/lib/(.*/)?libquarn\.(so|a)$
libquarn-dev has ./usr/lib/(.*/)?libquarn\.so
libquarn-dev has ./usr/lib/(.*/)?libquarn\.a
libquarn-dev has ./usr/lib/(.*/)?pkgconfig/libquarn\.pc
libquarn-dev has ./usr/lib/(.*/)?pkgconfig/libquarn-static\.pc
libquarn-dev has ./usr/lib/(.*/)?cmake/quarn/quarnConfig\.cmake
libquarn-dev has ./usr/lib/(.*/)?cmake/quarn/quarnTargets\.cmake
libquarn-dev has ./usr/include/quarn/pdf/library/pdf_lib\.h
libquarn-dev lacks ./usr/bin/
libquarn-dev lacks ./usr/lib/(.*/)?libquarn\.so\.2
TABLE

# Dependencies between the three, and the library's shlibs entry for programs built against it.
depends() { dpkg-deb -f "$(deb "$1")" Depends | tr ',' '\n' | sed 's/^ *//'; }
for package in zorvane libquarn-dev; do
  depends $package | grep -qx "libquarn2 (= $VERSION)" || fail "$package does not depend on libquarn2 (= $VERSION): $(depends $package | tr '\n' ' ')"
done
! depends libquarn2 | grep -q quarn || fail "libquarn2 depends on itself or on the others"
shlibs=$(dpkg-deb -I "$(deb libquarn2)" shlibs 2>/dev/null)
[ "$shlibs" = "libquarn 2 libquarn2 (>= $VERSION)" ] || fail "libquarn2 shlibs: '$shlibs'"

# libquarn2 runs ldconfig when it is configured on a real system.
for script in postinst postrm; do
  dpkg-deb -I "$(deb libquarn2)" $script 2>/dev/null | grep -q ldconfig || fail "libquarn2's $script runs no ldconfig"
done

# Unpacked with dpkg into a scratch root, as root or not (configuring would run only ldconfig,
# chrooted into the scratch root, which has no shell; the library is found by LD_LIBRARY_PATH).
ROOT=$WORK/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates"
touch "$ROOT/var/lib/dpkg/status" "$ROOT/var/lib/dpkg/available"
if ! PATH=$PATH:/usr/sbin:/sbin dpkg --root="$ROOT" --log=/dev/null --force-not-root --force-depends \
    --unpack "$(deb libquarn2)" "$(deb zorvane)" "$(deb libquarn-dev)" >dpkg.log 2>&1; then
  echo "dpkg --unpack failed: $(tail -5 dpkg.log)" >&2
  exit 1
fi
status=$(dpkg-query --admindir="$ROOT/var/lib/dpkg" -W -f='${Package}:${Status} ' zorvane libquarn2 libquarn-dev)
[ "$status" = "libquarn-dev:install ok unpacked libquarn2:install ok unpacked zorvane:install ok unpacked " ] ||
  fail "dpkg lists the packages as: $status"
TOOL=$ROOT/usr/bin/zorvane
LIB=$(find "$ROOT/usr/lib" -name libquarn.so.2 -printf '%h\n' | head -1)
export LD_LIBRARY_PATH=$LIB

# dpkg-shlibdeps named the package of every library the binaries load.
for binary in "$TOOL" "$LIB/libquarn.so.2"; do
  package=$(dpkg-query --admindir="$ROOT/var/lib/dpkg" -S "${binary#"$ROOT"}" | cut -d: -f1)
  for needed in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -v '^libquarn'); do
    owners=$(dpkg -S "*/$needed" 2>/dev/null | cut -d: -f1 | tr ',' '\n' | sed 's/^ *//' | sort -u)
    grep -qxFf <(echo "$owners") <(depends "$package" | sed 's/ .*//') ||
      fail "$package loads $needed (from $(echo "$owners" | tr '\n' ' ')) but does not depend on it"
  done
done

# The installed tool runs on the installed library.
LD_LIBRARY_PATH=$LIB ldd "$TOOL" | grep -q "libquarn.so.2 => $LIB/" || fail "zorvane does not load libquarn.so.2 from the scratch root"
if "$TOOL" "$SOURCE_DIR/samples/sample.pdf" stamped.pdf -wm "$SOURCE_DIR/samples/logo.pdf" -nbp -l tool.log; then
  qpdf_ok stamped.pdf "installed zorvane"
else
  fail "installed zorvane failed: $(cat tool.log)"
fi
if ! LC_ALL=C man --warnings=w -l "$ROOT/usr/share/man/man1/zorvane.1" >page.txt 2>man.log || [ -s man.log ]; then
  fail "man -l on the installed page: $(head -3 man.log)"
fi
grep -q zorvane page.txt || fail "man -l rendered nothing"
bash -n "$ROOT/usr/share/bash-completion/completions/zorvane" || fail "the installed completion does not parse"

# A program builds against libquarn-dev alone (its pkg-config file finds its own prefix).
# shellcheck disable=SC2046
if c++ -o consumer "$SOURCE_DIR/tests/e2e/consumer/consumer.cpp" \
    $(PKG_CONFIG_PATH=$LIB/pkgconfig pkg-config --cflags --libs libquarn); then
  [ "$(./consumer "$SOURCE_DIR/samples/sample.pdf" copy.pdf)" = "pages: 3" ] || fail "consumer of libquarn-dev failed"
else
  fail "no program builds against libquarn-dev"
fi
finish
