#!/usr/bin/env bash
# The Debian packages that cpack makes of the built tree: what each holds, that each depends on
# the packages of the libraries it loads (dpkg-shlibdeps) and on libquarn2 of this version, and
# that, unpacked by dpkg into a scratch root (no root needed), the tool stamps a sample that qpdf
# accepts and its man page renders without warnings.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
need cpack dpkg-deb dpkg-shlibdeps file qpdf man readelf
make_workdir packages
cd "$WORK" || exit 1

cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B debs >cpack.log 2>&1 || { tail -20 cpack.log >&2; exit 1; }
VERSION=2.4.0-1
deb() { echo "debs/$1_${VERSION}_$(dpkg --print-architecture).deb"; }
depends() { dpkg-deb -f "$(deb "$1")" Depends | tr ',' '\n' | sed 's/^ *//'; }
while read -r package rule path; do  # has: some file is PATH; lacks: none starts so
  files=$(dpkg-deb -c "$(deb "$package")" | awk '{ print $6 }')
  [ "$rule" = has ] && { grep -Eqx "$path" <<<"$files" || fail "$package lacks $path"; }
  [ "$rule" = lacks ] && grep -Eq "^$path" <<<"$files" && fail "$package holds $path"
done <<'TABLE'
zorvane has ./usr/bin/zorvane
zorvane has ./usr/share/man/man1/zorvane\.1
zorvane has ./usr/share/bash-completion/completions/zorvane
zorvane lacks ./usr/(lib|include)/
libquarn2 has ./usr/lib/(.*/)?libquarn\.so\.2(\.4\.0)?
libquarn2 lacks ./usr/(bin|include|share/man)/|.*(\.so|\.a)$
libquarn-dev has ./usr/lib/(.*/)?(libquarn\.(so|a)|pkgconfig/libquarn(-static)?\.pc|cmake/quarn/quarnConfig\.cmake)
libquarn-dev has ./usr/include/quarn/pdf/library/pdf_lib\.h
libquarn-dev lacks ./usr/bin/|.*\.so\.2
TABLE
# In pipes grep goes without -q: reading all its input, it never leaves a SIGPIPE to pipefail.
for package in zorvane libquarn-dev; do
  depends $package | grep -x "libquarn2 (= $VERSION)" >/dev/null || fail "$package does not depend on libquarn2 (= $VERSION)"
done
[ "$(dpkg-deb -I "$(deb libquarn2)" shlibs)" = "libquarn 2 libquarn2 (>= $VERSION)" ] || fail "libquarn2 has no shlibs entry"
dpkg-deb -I "$(deb libquarn2)" postinst | grep ldconfig >/dev/null || fail "libquarn2 runs no ldconfig when configured"

# dpkg --unpack: configuring would only run that ldconfig, chrooted into a root with no shell.
ROOT=$WORK/root
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates" && touch "$ROOT/var/lib/dpkg/status"
PATH=$PATH:/usr/sbin:/sbin dpkg --root="$ROOT" --log=/dev/null --force-not-root --force-depends \
  --unpack debs/*.deb >dpkg.log 2>&1 || { tail -5 dpkg.log >&2; exit 1; }
LIB=$(find "$ROOT/usr/lib" -name libquarn.so.2 -printf '%h\n')
for binary in usr/bin/zorvane "${LIB#"$ROOT"/}/libquarn.so.2"; do  # every library it loads is a Depends
  package=$(dpkg-query --admindir="$ROOT/var/lib/dpkg" -S "/$binary" | cut -d: -f1)
  for needed in $(readelf -d "$ROOT/$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -v libquarn); do
    dpkg -S "*/$needed" 2>/dev/null | cut -d: -f1 | grep -qxFf - <(depends "$package" | cut -d' ' -f1) ||
      fail "$package loads $needed but does not depend on its package"
  done
done

export LD_LIBRARY_PATH=$LIB
if "$ROOT/usr/bin/zorvane" "$SOURCE_DIR/samples/sample.pdf" out.pdf -wm "$SOURCE_DIR/samples/logo.pdf" -nbp -l log; then
  qpdf_ok out.pdf "installed zorvane"
else fail "installed zorvane failed: $(cat log)"; fi
LC_ALL=C man --warnings=w -l "$ROOT/usr/share/man/man1/zorvane.1" 2>&1 >page.txt | grep . && fail "man -l warns"
grep -q zorvane page.txt || fail "man -l rendered nothing"
finish
