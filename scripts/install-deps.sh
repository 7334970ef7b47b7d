#!/bin/sh
# Installs the Debian packages the build needs when they are missing. As root
# it runs apt-get; otherwise it prints the one command a user has to run.
# The libusb package is optional: without it the real-pod backend is left out;
# umockdev (device emulation) lets the tests run that backend against
# emulated pods, and without it those tests are left out. Without libzip the
# tool reads and writes no .sr session files.
set -e
required="cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev"
optional="libusb-1.0-0-dev umockdev libumockdev-dev libzip-dev"
# The Python package's tests (pytest over numpy), the check that drawings
# render (rsvg-convert) and the independent reader of .sr files; their
# tests skip without them.
optional="$optional python3 python3-numpy python3-pytest librsvg2-bin sigrok-cli"
# `make fuzz` builds with clang's libFuzzer.
if [ "${1:-}" = fuzz ]; then required="clang libclang-rt-14-dev"; optional="libzip-dev"; fi
# `make windows` cross-builds with MinGW-w64; its tests run under wine and
# compare export names with clang's.
if [ "${1:-}" = windows ]; then
  required="cmake make python3 g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 clang"
  optional="wine wine64"
fi
# `make docs` builds the API reference with doxygen.
if [ "${1:-}" = docs ]; then required="doxygen"; optional=""; fi
missing=""
for pkg in $required $optional; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $pkg"
  fi
done
[ -z "$missing" ] && exit 0
if ! command -v apt-get >/dev/null 2>&1; then
  echo "tqla: missing packages:$missing (install them with your package manager)" >&2
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "tqla: missing packages; run: sudo apt-get install -y$missing" >&2
  exit 0
fi
echo "tqla: installing$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends$missing >/dev/null
