#!/bin/sh
# Every dynamic symbol the library defines must be an API function declared in
# the public headers; nothing of the C++ internals may show.
lib="$1"; inc="$2"
syms=$(nm -D --defined-only "$lib" | awk '{print $NF}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$')
[ -n "$syms" ] || { echo "no symbols exported"; exit 1; }
fail=0
for s in $syms; do
  case "$s" in
    _Z*) echo "C++ symbol exported: $s"; fail=1; continue ;;
  esac
  if ! grep -q -E "[ *]$s\(" "$inc"/tqla.h "$inc"/tqla_ext.h; then
    echo "exported but not declared in the public headers: $s"; fail=1
  fi
done
count=$(echo "$syms" | wc -l)
[ $fail -eq 0 ] && echo "$count exported symbols, all declared API functions"
exit $fail
