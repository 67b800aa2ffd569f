#!/usr/bin/env bash
# Installs what zorvane needs to build and test on Debian 12, and makes the Japanese Shift-JIS
# locale the tool prefers. Safe to run again: it skips apt when every package is already there.
set -euo pipefail

PACKAGES=(
  cmake make g++ pkg-config
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libtiff-dev libssl-dev libfreetype-dev libfontconfig-dev
  libharfbuzz-dev libdeflate-dev
  libgtest-dev
  qpdf poppler-utils ghostscript jq parallel rsync openssh-client openssh-server
  groff-base bsdutils libjpeg-turbo-progs fontconfig
  dpkg-dev file man-db binutils time lintian bash-completion
  locales fonts-dejavu-core fonts-liberation fonts-ipafont-gothic fonts-ipafont-mincho
  fonts-wqy-zenhei  # a TrueType face of simplified Chinese (smaller than the Noto CJK fonts)
  poppler-data python3-reportlab python3-fonttools
  clang libclang-rt-14-dev
  mupdf-tools strace  # bench/startup.sh: the peer it times, and the system calls it counts
  abigail-tools xz-utils  # scripts/abi_check.sh: the library's ABI against abi/
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "setup.sh: '$*' needs root" >&2
    return 1
  fi
}

missing_packages() {
  local package
  for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
      echo "$package"
    fi
  done
}

install_packages() {
  local missing
  missing=$(missing_packages)
  if [ -z "$missing" ]; then
    echo "setup.sh: all packages already installed"
    return 0
  fi
  echo "setup.sh: installing: ${missing//$'\n'/ }"
  as_root apt-get update
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "${PACKAGES[@]}"
}

has_sjis_locale() {
  locale -a 2>/dev/null | grep -qix 'ja_JP\.sjis'
}

make_sjis_locale() {
  if has_sjis_locale; then
    echo "setup.sh: locale ja_JP.SJIS already present"
    return 0
  fi
  # localedef warns that Shift-JIS is not ASCII-compatible and exits with 1, yet it writes the
  # locale; so judge by what `locale -a` lists afterwards.
  as_root localedef -f SHIFT_JIS -i ja_JP ja_JP.SJIS || true
  if ! has_sjis_locale; then
    echo "setup.sh: could not create the ja_JP.SJIS locale" >&2
    return 1
  fi
  echo "setup.sh: locale ja_JP.SJIS created"
}

install_packages
make_sjis_locale
