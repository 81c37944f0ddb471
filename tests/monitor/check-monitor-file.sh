#!/usr/bin/env bash
# Static checks of the monitor's DLL: check-monitor-file.sh OBJDUMP MACHINE TAVERIX.dll
# MACHINE is i386 or x86-64. It imports only from Windows' own KERNEL32.dll and msvcrt.dll, and
# exports exactly the ten bus functions by their undecorated names.
set -uo pipefail
objdump=$1 machine=$2 library=$3
export LC_ALL=C
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

headers=$("$objdump" -p "$library") || { echo "cannot read $library" >&2; exit 1; }
format=$("$objdump" -f "$library" | sed -n 's/.*file format //p')
[ "$format" = "pei-$machine" ] && pass "file format $format" || fail "file format '$format', wanted pei-$machine"

dlls=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers" | sort -u | tr '\n' ' ')
[ "$dlls" = "kernel32.dll msvcrt.dll " ] && pass "imported DLLs: $dlls" \
  || fail "imported DLLs: '$dlls', wanted KERNEL32.dll and msvcrt.dll"

# The export table: "[Ordinal/Name Pointer] Table" is followed by lines "[   n] name".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^\t\[ *[0-9]+\] / { print $NF; next }
  inside { inside = 0 }' <<<"$headers" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' gp_init gp_cli gp_ren gp_tmout gp_clr gp_wait gp_llo gp_wrt gp_red gp_lcl | sort | tr '\n' ' ')
[ "$exports" = "$wanted" ] && pass "exports: $exports" || fail "exports: '$exports', wanted '$wanted'"

[ "$failures" = 0 ] || { echo "$failures check(s) failed for $library" >&2; exit 1; }
