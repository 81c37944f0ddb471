#!/usr/bin/env bash
# Soak of the gateway: tools/soak.sh [SECONDS] (60 by default). Builds the native gateway (the
# simulator linked in) and runs tools/soak.py against it on loopback: many clients at once, raw
# socket and VXI-11, the simulator's faults and late replies, invariants checked throughout, Ctrl+C
# at the end. Prints the figures and ends with "soak: N passed, N failed"; fails on any broken
# invariant. It runs in a network namespace of its own (`unshare -n` as root, `unshare -rn` as a
# user), where the gateway may take port 111 and nothing of the host's network is touched; where
# no namespace can be made it says so and soaks the raw socket alone.
set -euo pipefail
usage() { echo "usage: tools/soak.sh [SECONDS]   (default 60)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
[ $# -le 1 ] || { usage >&2; exit 2; }
seconds=${1:-60}
case "$seconds" in
  ''|*[!0-9]*) usage >&2; exit 2 ;;
esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native --target taverix-gateway >/dev/null
soak=(/usr/bin/python3 tools/soak.py build/native/bin/taverix-gateway "$seconds")
[ "$(id -u)" = 0 ] && flags=(-n) || flags=(-rn)
if unshare "${flags[@]}" true 2>/dev/null; then
  exec unshare "${flags[@]}" sh -c 'ip link set lo up && exec "$@"' soak "${soak[@]}"
fi
echo "soak: no network namespace to be had (unshare ${flags[*]} failed): the raw socket alone, without VXI-11"
exec "${soak[@]}" --no-vxi11
