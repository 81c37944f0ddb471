#!/usr/bin/env bash
# Static checks of the gateway's program file: check-gateway-file.sh OBJDUMP MACHINE taverix-gateway.exe
# MACHINE is i386 or x86-64. Checks the machine, the console subsystem, that the program imports only
# from ADVAPI32.dll (the service manager, the event log), KERNEL32.dll, msvcrt.dll, WS2_32.dll,
# IPHLPAPI.DLL (the web page's interface list) and TAVERIX.dll, and that it takes exactly the ten bus
# functions from TAVERIX.dll by their undecorated names.
set -uo pipefail
usage() { echo "usage: tests/gateway/check-gateway-file.sh OBJDUMP i386|x86-64 taverix-gateway.exe"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 3 ] || { usage >&2; exit 2; }
objdump=$1 machine=$2 program=$3
. "$(dirname "${BASH_SOURCE[0]}")/../support/pe-file-checks.sh"

pe_read "$objdump" "$machine" "$program"
pe_subsystem 3 "Windows console"
pe_imports "advapi32.dll iphlpapi.dll kernel32.dll msvcrt.dll taverix.dll ws2_32.dll " \
  "ADVAPI32.dll, IPHLPAPI.DLL, KERNEL32.dll, msvcrt.dll, WS2_32.dll and TAVERIX.dll"
pe_done "$program"
