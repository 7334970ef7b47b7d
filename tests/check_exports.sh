#!/bin/sh
# The shared library's dynamic symbols are exactly the API functions declared
# in the public headers: every declared function is exported, nothing else is,
# and nothing of the C++ internals shows.
lib="$1"; inc="$2"
syms=$(nm -D --defined-only "$lib" | awk '{print $NF}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u)
[ -n "$syms" ] || { echo "no symbols exported"; exit 1; }
declared=$(cat "$inc"/tqla.h "$inc"/tqla_ext.h | tr '\n' ' ' | grep -o -E 'TQLA_API +[A-Za-z_][A-Za-z0-9_]* *\(' |
  sed -E 's/TQLA_API +//; s/ *\($//' | sort -u)
fail=0
for s in $syms; do
  case "$s" in
    _Z*) echo "C++ symbol exported: $s"; fail=1; continue ;;
  esac
  echo "$declared" | grep -q -x "$s" || { echo "exported but not declared in the public headers: $s"; fail=1; }
done
for d in $declared; do
  echo "$syms" | grep -q -x "$d" || { echo "declared but not exported: $d"; fail=1; }
done
count=$(echo "$syms" | wc -l)
[ $fail -eq 0 ] && echo "$count exported symbols, exactly the declared API functions"
exit $fail
