#!/usr/bin/env bash
# Static checks of the gateway's program file: check-gateway-file.sh OBJDUMP MACHINE taverix-gateway.exe
# MACHINE is i386 or x86-64. Checks the machine, the console subsystem, that the program imports only
# from KERNEL32.dll, msvcrt.dll, WS2_32.dll and TAVERIX.dll, and that it takes exactly the ten bus
# functions from TAVERIX.dll by their undecorated names.
set -uo pipefail
objdump=$1 machine=$2 program=$3
export LC_ALL=C

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

headers=$("$objdump" -p "$program") || { echo "cannot read $program" >&2; exit 1; }

format=$("$objdump" -f "$program" | sed -n 's/.*file format //p')
[ "$format" = "pei-$machine" ] && pass "file format $format" || fail "file format '$format', wanted pei-$machine"

subsystem=$(awk '$1 == "Subsystem" { print $2 + 0 }' <<<"$headers")
[ "$subsystem" = 3 ] && pass "console subsystem" || fail "subsystem '$subsystem', wanted 3 (Windows console)"

imports=$(awk '
  /DLL Name:/ { dll = $3; print "dll " dll; next }
  dll != "" && /^\t[0-9a-f]+\t/ { print "fn " dll " " $NF; next }' <<<"$headers")
dlls=$(awk '$1 == "dll" { print tolower($2) }' <<<"$imports" | sort -u | tr '\n' ' ')
[ "$dlls" = "kernel32.dll msvcrt.dll taverix.dll ws2_32.dll " ] && pass "imported DLLs: $dlls" \
  || fail "imported DLLs: '$dlls', wanted KERNEL32.dll, msvcrt.dll, WS2_32.dll and TAVERIX.dll"

bus_functions=$(awk '$1 == "fn" && tolower($2) == "taverix.dll" { print $3 }' <<<"$imports" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' gp_init gp_cli gp_ren gp_tmout gp_clr gp_wait gp_llo gp_wrt gp_red gp_lcl | sort | tr '\n' ' ')
[ "$bus_functions" = "$wanted" ] && pass "bus functions: $bus_functions" \
  || fail "functions from TAVERIX.dll: '$bus_functions', wanted '$wanted'"

[ "$failures" = 0 ] || { echo "$failures check(s) failed for $program" >&2; exit 1; }
