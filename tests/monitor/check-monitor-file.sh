#!/usr/bin/env bash
# Static checks of the monitor's DLL: check-monitor-file.sh OBJDUMP MACHINE TAVERIX.dll
# MACHINE is i386 or x86-64. It imports only from Windows' own KERNEL32.dll and msvcrt.dll, and
# exports exactly the ten bus functions by their undecorated names.
set -uo pipefail
usage() { echo "usage: tests/monitor/check-monitor-file.sh OBJDUMP i386|x86-64 TAVERIX.dll"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 3 ] || { usage >&2; exit 2; }
objdump=$1 machine=$2 library=$3
. "$(dirname "${BASH_SOURCE[0]}")/../support/pe-file-checks.sh"

pe_read "$objdump" "$machine" "$library"
pe_imports "kernel32.dll msvcrt.dll " "KERNEL32.dll and msvcrt.dll"

# The export table: "[Ordinal/Name Pointer] Table" is followed by lines "[   n] name".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^\t\[ *[0-9]+\] / { print $NF; next }
  inside { inside = 0 }' <<<"$headers" | sort | tr '\n' ' ')
[ "$exports" = "$bus_function_names" ] && pass "exports: $exports" || fail "exports: '$exports', wanted '$bus_function_names'"
pe_done "$library"
