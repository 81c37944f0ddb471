#!/usr/bin/env bash
# Runs a command in a private network namespace, so that the gateway may take port 111 and its
# clients reach it there while nothing of the host's network is touched:
#   tests/gateway/in-netns.sh [--wine] COMMAND [ARGS...]
# The namespace has its loopback up and one interface of its own, d0, at 10.73.16.1/24 with the
# broadcast address 10.73.16.255, for discovery by broadcast (a dummy interface; where the kernel
# has none, a bridge without ports). It has no route out: no packet leaves it. As root it is made
# with `unshare -n`; as a normal user in a user namespace of its own as well, where the user keeps
# the same uid (not root, as with `unshare -rn`: Wine keeps its server's socket under the uid, in
# /tmp/.wine-UID) and the capabilities the namespace grants (ip, ports below 1024).
#
# --wine: Windows programs run in a Wine prefix of this run's own, a copy of the test prefix
# (QX_WINEPREFIX; the Windows folder hard-linked), whose wineserver therefore starts inside the
# namespace and creates every socket there. The prefix's Wine processes are ended and the copy
# removed at the end. The exit code is COMMAND's.
set -euo pipefail
usage() { echo "usage: tests/gateway/in-netns.sh [--wine] COMMAND [ARGS...]   (a command in a network namespace of its own)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  --wine|--inside) ;;
  -*|"") usage >&2; exit 2 ;;
esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
address=10.73.16.1/24

if [ "${1:-}" != --inside ]; then
  [ "$(id -u)" = 0 ] && flags=(-n) || flags=(-n --map-user="$(id -u)" --map-group="$(id -g)" --keep-caps)
  exec unshare "${flags[@]}" "$0" --inside "$@"
fi
shift

ip link set lo up
ip link add d0 type dummy 2>/dev/null || ip link add d0 type bridge
ip addr add "$address" broadcast + dev d0
ip link set d0 up

if [ "${1:-}" = --wine ]; then
  shift
  . "$here/../../tools/wine-env.sh"
  qx_wine_prefix
  base=$WINEPREFIX
  copy=$(mktemp -d "$base-netns.XXXXXX")
  # Hard links for the large Windows folder; real copies of the files Wine may rewrite in place.
  cp -al "$base/." "$copy/"
  find "$copy" -maxdepth 1 -type f -exec sh -c 'for f; do cp --remove-destination "'"$base"'/${f##*/}" "$f"; done' sh {} +
  export QX_WINEPREFIX=$copy WINEPREFIX=$copy
  end_wine() {
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
    timeout 20 "$WINESERVER" -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$copy"
  }
  trap end_wine EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  status=0
  "$@" || status=$?
  exit "$status"
fi
exec "$@"
