#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's prefix: tools/wine-run.sh PROGRAM.exe [ARGS...]
# The program's exit code is this script's.
set -euo pipefail
usage() { echo "usage: tools/wine-run.sh PROGRAM.exe [ARGS...]   (runs it under Wine in the project's prefix)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*|"") usage >&2; exit 2 ;;
esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
qx_wine_prefix
qx_wine_note_prefix
qx_wine_display
qx_wine_services
exe=$1; shift
if head -c 1024 "$exe" 2>/dev/null | grep -qa 'PE' && file -b "$exe" | grep -q 'Intel 80386'; then
  . "$here/i386-native.sh"
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && ! i386_native; then
    echo "wine-run: $exe is a 32-bit program, and the i386 emulation is not registered with binfmt_misc (lost at every reboot): run sudo $(cd "$here/.." && pwd)/tools/setup.sh" >&2
    exit 125
  fi
fi
exec "$WINELOADER" "$exe" "$@"
