#!/bin/sh
# The DLL exports exactly the three entry points and imports nothing but
# KERNEL32.dll and msvcrt.dll, so it loads on any Windows without extra files.
set -eu
dump=$(i686-w64-mingw32-objdump -p "$1")
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n "s/^[[:space:]]*\[ *[0-9]*\] \([^ ]*\)$/\1/p" | sort | tr '\n' ' ')
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
status=0
if [ "$exports" != "GetPluginInfo OpenPlugin SetStartupInfo " ]; then
  echo "unexpected exports: $exports"; status=1
fi
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "unexpected imports: $imports"; status=1
fi
[ $status -eq 0 ] && echo "exports: $exports; imports: $imports"
exit $status
