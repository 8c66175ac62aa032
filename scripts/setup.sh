#!/bin/sh
# Installs everything the build and the tests need on a fresh Debian 12
# machine (run as root). Safe to run again.
set -eu

PACKAGES="cmake make ninja-build
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  googletest clang libclang-rt-14-dev
  wine wine64 xvfb x11-utils
  python3 python3-pefile openssl osslsigncode msitools curl"

missing=""
for package in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -z "$missing" ]; then
  echo "setup: everything is installed"
  exit 0
fi
echo "setup: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
