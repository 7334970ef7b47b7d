#!/bin/sh
# The scenario host on Linux and, under Wine, on Windows against tqla.dll:
# their record files, packet files, capture file and lists must be the same
# byte for byte. Also runs the Windows platform layer's own checks. The 64-bit
# build runs under Debian's wine; the 32-bit one too where wine can run it.
# usage: wine_scenario.sh LINUX_HOST LINUX_LIBRARY PROTOCOL_FILE WINDOWS_BUILD WORK_DIR
set -u
host="$1"; library="$2"; protocol="$3"; builds="$4"; work="$5"
skip() { echo "SKIP: $*"; exit 77; }
command -v wine >/dev/null 2>&1 || skip "wine is not installed (apt-get install wine wine64)"
[ -f "$builds/x86_64/tqla.dll" ] && [ -f "$builds/x86_64/scenario_host.exe" ] ||
  skip "no 64-bit Windows build in $builds/x86_64 (build it with 'make windows')"

export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work"
files="summary.txt capture.tqc i2c.txt i2c-packets.txt spi.txt uart.txt packet-list.txt"

run() {  # run NAME COMMAND...: the scenario in $work/NAME
  dir="$work/$1"; shift
  rm -rf "$dir"; mkdir -p "$dir"; cp "$protocol" "$dir/protocol.txt"
  # The packet engine's console lines go to console.txt (text mode on Windows).
  (cd "$dir" && timeout 300 "$@" > console.txt) || { echo "the scenario failed: $*"; exit 1; }
}

run linux "$host" "$library" protocol.txt libm.so.6
fail=0
check() {  # check NAME: files of $work/NAME against the Linux run's
  for f in $files; do
    if ! cmp "$work/linux/$f" "$work/$1/$f"; then echo "$1: $f differs from the Linux run's"; fail=1; fi
  done
}
for arch in x86_64 i686; do
  exe="$builds/$arch/scenario_host.exe"
  [ -f "$exe" ] || continue
  # A wine without its 32-bit part starts a 32-bit program, prints nothing and
  # reports success, so the probe looks for the checks' last line.
  if [ "$arch" = i686 ] && ! timeout 120 wine "$builds/$arch/platform_check.exe" 2>/dev/null | grep -q 'checks passed'; then
    echo "note: wine does not run 32-bit programs here (install wine32); the 32-bit DLL is checked by its exports only"
    continue
  fi
  timeout 120 wine "$builds/$arch/platform_check.exe" || { echo "$arch: platform checks failed"; fail=1; }
  run "wine-$arch" wine "$exe" "$(winepath -w "$builds/$arch/tqla.dll" 2>/dev/null)" protocol.txt kernel32.dll
  check "wine-$arch"
  [ $fail -eq 0 ] && echo "$arch: $(echo $files | wc -w) files identical to the Linux run's"
done
exit $fail
