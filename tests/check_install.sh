#!/bin/sh
# Installs the build into a scratch prefix and builds a plain C host against
# it twice: through find_package(tqla) and through pkg-config.
set -e
build="$1"; source="$2"; work="$3"
rm -rf "$work"; mkdir -p "$work/consumer"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cp "$source/tests/install/consumer.c" "$work/consumer/"
cp "$source/tests/install/CMakeLists.txt.in" "$work/consumer/CMakeLists.txt"
cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64:$(dirname "$(find "$work/prefix" -name 'libtqla.so*' | head -n 1)")" \
  "$work/consumer/build/consumer"
pcdir=$(dirname "$(find "$work/prefix" -name tqla.pc | head -n 1)")
PKG_CONFIG_PATH="$pcdir" pkg-config --variable=firmwaredir tqla | grep -q tqla/firmware
PKG_CONFIG_PATH="$pcdir" pkg-config --variable=protocoldir tqla | grep -q tqla/protocols
test -f "$work/prefix/share/tqla/protocols/modbus-rtu.txt"
cc -std=c99 -Wall -Wextra -pedantic -o "$work/consumer/pc" "$work/consumer/consumer.c" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs tqla)
LD_LIBRARY_PATH="$(dirname "$(find "$work/prefix" -name 'libtqla.so*' | head -n 1)")" "$work/consumer/pc"
echo "installed package found by CMake and pkg-config"
