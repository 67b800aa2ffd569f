#!/usr/bin/env bash
# The Debian packages that cpack makes of the built tree: what each holds, that lintian finds
# nothing to report, that each depends on the packages of the libraries it loads (dpkg-shlibdeps)
# and on libquarn2 of this version, and that, unpacked by dpkg into a scratch root (no root
# needed), the tool and zorvane-many stamp a sample that qpdf accepts, the man pages render
# without warnings, bash-completion loads the completion by itself, programs that set no C++
# standard build against libquarn-dev, and libquarn2 purges leaving nothing behind.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/consumer/consumers.sh"
need cpack dpkg-deb dpkg-shlibdeps dpkg-architecture file qpdf man readelf lintian parallel cmake pkg-config c++
make_workdir packages
cd "$WORK" || exit 1

cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B debs >cpack.log 2>&1 || { tail -20 cpack.log >&2; exit 1; }
VERSION=2.4.0-1
MULTIARCH=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
deb() { echo "debs/$1_${VERSION}_$(dpkg --print-architecture).deb"; }
field() { dpkg-deb -f "$(deb "$1")" "$2" | tr ',' '\n' | sed 's/^ *//'; }
depends() { field "$1" Depends; }
while read -r package rule path; do  # has: some file is PATH; lacks: none starts so
  files=$(dpkg-deb -c "$(deb "$package")" | awk '{ print $6 }')
  [ "$rule" = has ] && { grep -Eqx "$path" <<<"$files" || fail "$package lacks $path"; }
  [ "$rule" = lacks ] && grep -Eq "^$path" <<<"$files" && fail "$package holds $path"
done <<TABLE
zorvane has ./usr/bin/zorvane
zorvane has ./usr/bin/zorvane-many
zorvane has ./usr/share/man/man1/zorvane(-many)?\\.1\\.gz
zorvane has ./usr/share/bash-completion/completions/zorvane
zorvane lacks ./usr/(lib|include)/|.*\\.1$
libquarn2 has ./usr/lib/$MULTIARCH/libquarn\\.so\\.2(\\.4\\.0)?
libquarn2 lacks ./usr/(bin|include|share/man)/|.*(\\.so|\\.a)$
libquarn-dev has ./usr/lib/$MULTIARCH/(libquarn\\.(so|a)|pkgconfig/libquarn(-static)?\\.pc|cmake/quarn/quarnConfig\\.cmake)
libquarn-dev has ./usr/include/quarn/pdf/library/pdf_lib\\.h
libquarn-dev lacks ./usr/bin/|.*\\.so\\.2
TABLE
for package in zorvane libquarn2 libquarn-dev; do
  for doc in copyright changelog.Debian.gz; do
    dpkg-deb -c "$(deb $package)" | grep " ./usr/share/doc/$package/$doc$" >/dev/null || fail "$package lacks its $doc"
  done
done
# Nothing for a Debian maintainer to mend: no error, no warning (overrides say why).
lintian --fail-on error,warning debs/*.deb >lintian.txt 2>&1 || fail "lintian: $(grep -E '^[EW]: ' lintian.txt | head -10)"
# In pipes grep goes without -q: reading all its input, it never leaves a SIGPIPE to pipefail.
for package in zorvane libquarn-dev; do
  depends $package | grep -x "libquarn2 (= $VERSION)" >/dev/null || fail "$package does not depend on libquarn2 (= $VERSION)"
done
depends zorvane | grep -x parallel >/dev/null || fail "zorvane does not depend on parallel"
field zorvane Recommends | grep -x bash-completion >/dev/null || fail "zorvane does not recommend bash-completion"
[ "$(dpkg-deb -I "$(deb libquarn2)" shlibs)" = "libquarn 2 libquarn2 (>= $VERSION)" ] || fail "libquarn2 has no shlibs entry"
# dpkg's ldconfig trigger updates the loader's cache; no maintainer script does it again.
[ "$(dpkg-deb -I "$(deb libquarn2)" triggers)" = "activate-noawait ldconfig" ] || fail "libquarn2 has no ldconfig trigger"
for script in preinst postinst prerm postrm; do
  dpkg-deb -I "$(deb libquarn2)" $script >/dev/null 2>&1 && fail "libquarn2 has a $script"
done

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
mkdir many-in && cp "$SOURCE_DIR/samples/sample.pdf" many-in/a.pdf && cp "$SOURCE_DIR/samples/sample.pdf" many-in/b.pdf
if ZORVANE=$ROOT/usr/bin/zorvane "$ROOT/usr/bin/zorvane-many" many-in many-out -nbp >many.log 2>&1; then
  for file in a b; do qpdf_ok "many-out/$file.pdf" "installed zorvane-many"; done
else fail "installed zorvane-many failed: $(tail -3 many.log)"; fi
for page in zorvane zorvane-many; do
  LC_ALL=C man --warnings=w -l "$ROOT/usr/share/man/man1/$page.1.gz" 2>&1 >page.txt | grep . && fail "man -l $page warns"
  grep -q "$page" page.txt || fail "man -l $page rendered nothing"
done
# bash-completion finds the completion under the data directories it searches, on first use.
completed=$(XDG_DATA_DIRS=$ROOT/usr/share bash -c 'source /usr/share/bash-completion/bash_completion &&
  __load_completion zorvane && COMP_WORDS=(zorvane --ver) COMP_CWORD=1 && _zorvane && echo "${COMPREPLY[*]}"' 2>&1)
[ "$completed" = --version ] || fail "bash-completion does not complete zorvane --ver: $completed"

unset LD_LIBRARY_PATH
check_consumers "$ROOT/usr" "$LIB" "$WORK/consumers"

# libquarn2 configures and purges with nothing left behind (the others depend on it: forced).
dpkg_root() { PATH=$PATH:/usr/sbin:/sbin dpkg --root="$ROOT" --log=/dev/null --force-not-root --force-depends "$@" >>dpkg.log 2>&1; }
dpkg_root --configure libquarn2 || fail "libquarn2 does not configure: $(tail -3 dpkg.log)"
dpkg_root --purge libquarn2 || fail "libquarn2 does not purge: $(tail -3 dpkg.log)"
left=$(find "$ROOT" -name 'libquarn.so.2*' -o -path '*/doc/libquarn2*' -o -path '*/dpkg/info/libquarn2.*')
[ -z "$left" ] || fail "purged libquarn2 left: $left"
finish
