#!/bin/sh
# The 32-bit DLL's exports against the host API as its description declares it
# (host_api_msvc.cc), decorated by clang for the MSVC ABI rather than by the
# build's own table: every host API function is exported under its decorated
# and its plain name, every extension of tqla_ext.h under its plain name, and
# nothing else; each function removes from the stack (ret N) the N bytes of
# its stdcall name _Name@N, and the import library carries _Name@N for C hosts
# and the decorated names for C++ hosts.
# usage: check_abi.sh HOST_API_SOURCE EXT_HEADER I686_BUILD_DIR WORK_DIR
set -u
source="$1"; ext="$2"; build="$3"; work="$4"
dll="$build/tqla.dll"; implib="$build/tqla.lib"
skip() { echo "SKIP: $*"; exit 77; }
command -v clang >/dev/null 2>&1 || skip "clang is not installed (apt-get install clang)"
command -v i686-w64-mingw32-objdump >/dev/null 2>&1 || skip "MinGW-w64 binutils are not installed (make windows installs them)"
[ -f "$dll" ] || skip "no 32-bit DLL at $dll (build it with 'make windows')"
mkdir -p "$work"
fail=0
problem() { echo "$*"; fail=1; }

clang --target=i686-pc-windows-msvc -c "$source" -o "$work/cxx.o" || exit 1
clang --target=i686-pc-windows-msvc -DTQLA_ABI_C_NAMES -c "$source" -o "$work/c.o" || exit 1
undefined() { i686-w64-mingw32-nm "$1" | awk '$1 == "U" { print $2 }' | sort; }
undefined "$work/cxx.o" > "$work/decorated"
undefined "$work/c.o" | sed 's/^_//' > "$work/stdcall"   # Name@N
sed 's/@.*//' "$work/stdcall" > "$work/plain"
grep -oE 'TQLA_API +[A-Za-z0-9_]+ *\(' "$ext" | sed -E 's/TQLA_API +//; s/ *\(//' | sort > "$work/ext"
[ -s "$work/decorated" ] && [ -s "$work/ext" ] || { echo "nothing read from $source or $ext"; exit 1; }
sort "$work/decorated" "$work/plain" "$work/ext" > "$work/expected"

i686-w64-mingw32-objdump -p "$dll" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NF == 3 && $1 == "[" { print $3 } NF == 2 { print $2 }' |
  sort > "$work/exported"
if ! cmp -s "$work/expected" "$work/exported"; then
  problem "export table differs from the description (< expected, > exported):"
  diff "$work/expected" "$work/exported" | grep '^[<>]'
fi

# The callee's own stack clean-up: every ret of each export pops its N bytes.
i686-w64-mingw32-objdump -d --no-show-raw-insn "$dll" > "$work/code"
awk -v list="$work/stdcall" '
  BEGIN { while ((getline line < list) > 0) { split(line, p, "@"); want["_" line] = p[2]; } }
  /^[0-9a-f]+ <.*>:$/ { name = $2; gsub(/[<>:]/, "", name); current = (name in want) ? name : ""; if (current != "") seen[current] = 1; next }
  current != "" && $2 == "ret" {
    n = want[current]; got = 0
    if ($3 != "") { hex = tolower(substr($3, 4)); for (i = 1; i <= length(hex); i++) got = got * 16 + index("0123456789abcdef", substr(hex, i, 1)) - 1 }
    if (got != n) { printf "%s returns with ret %s, the caller passed %d bytes\n", current, $3, n; bad = 1 }
    rets[current]++
  }
  END {
    for (f in want) if (!(f in seen)) { printf "%s: no code of that name in the DLL\n", f; bad = 1 }
    exit bad
  }' "$work/code" || fail=1

if [ -f "$implib" ]; then
  i686-w64-mingw32-nm "$implib" | awk '$2 == "I" && $3 ~ /^__imp_/ { sub(/^__imp_/, "", $3); print $3 }' |
    sed 's/^_//' | sort > "$work/imported"
  sort "$work/decorated" "$work/stdcall" > "$work/importable"
  comm -23 "$work/importable" "$work/imported" | sed 's/^/not in the import library: /' | grep . && fail=1
else
  problem "no import library at $implib"
fi

count=$(wc -l < "$work/exported")
[ $fail -eq 0 ] && echo "$count exports: $(wc -l < "$work/decorated") decorated host API names, their plain names and $(wc -l < "$work/ext") extensions; stack clean-up and import library agree"
exit $fail
