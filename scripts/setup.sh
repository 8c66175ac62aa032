#!/bin/sh
# Installs everything the build and the tests need on a fresh Debian 12
# machine (run as root). Safe to run again.
set -eu

PACKAGES="cmake make ninja-build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest clang libclang-rt-14-dev
  wine wine64 xvfb x11-utils
  python3 python3-pefile openssl osslsigncode msitools curl locales
  fonts-ipafont-gothic"

missing=""
for package in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -z "$missing" ]; then
  echo "setup: every package is installed"
else
  echo "setup: installing$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
fi

# Wine takes the user's language and the ANSI code page from LANG only when
# that locale exists on the host; the tests run in these.
for locale in en_US de_DE de_AT fr_FR it_IT es_ES ja_JP pt_BR; do
  if ! locale -a 2>/dev/null | grep -qx "$locale.utf8"; then
    echo "setup: generating the locale $locale.UTF-8"
    localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
  fi
done
