#!/usr/bin/env bash
# Ends what the project's scripts left running after they were killed hard (kill -9, a closed
# terminal): tools/cleanup.sh
# For the user who runs it: the process groups and Xvfb servers the scripts noted in their run
# folder (QX_RUN_DIR, by default /tmp/qx7316-UID), and every Wine process of the Wine prefixes the
# scripts ran programs in (the test prefix, the panel's), open panels included. Nothing of other
# users and nothing the scripts did not start is touched.
set -uo pipefail
usage() { echo "usage: tools/cleanup.sh   (no arguments: ends what the scripts left running, see the README)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  ?*) usage >&2; exit 2 ;;
esac
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/process-group.sh"
me=$(id -u)
ended=0

# True when process $1 runs under this user.
mine() { [ "$(ps -o uid= -p "$1" 2>/dev/null | tr -d ' ')" = "$me" ]; }
# True when a live process of group $1 runs under this user.
group_mine() {
  ps -e -o pgid=,uid=,stat= | awk -v g="$1" -v me="$me" '$1 == g && $2 == me && $3 !~ /^Z/ { f = 1 } END { exit !f }'
}

for note in "$QX_RUN_DIR"/group.*; do
  [ -e "$note" ] || continue
  group=${note##*.}
  if group_mine "$group"; then
    echo "cleanup: ending process group $group ($(cat "$note"))"
    qx_group=$group
    qx_stop_group
    ended=$((ended + 1))
  fi
  rm -f "$note"
done

for note in "$QX_RUN_DIR"/xvfb.*; do
  [ -e "$note" ] || continue
  pid=${note##*.}
  if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] && mine "$pid"; then
    echo "cleanup: ending Xvfb $pid"
    kill "$pid" 2>/dev/null
    ended=$((ended + 1))
  fi
  rm -f "$note"
done

# The prefixes the scripts ran Windows programs in (noted by tools/wine-run.sh and tools/test.sh);
# prefixes in which no script ran anything, perhaps used by someone else, are left alone.
prefixes=$(sort -u "$QX_RUN_DIR/wineprefixes" 2>/dev/null)
ended_in=()
while IFS= read -r prefix; do
  [ -n "$prefix" ] && [ -d "$prefix" ] || continue
  ended_in+=("$prefix")
  # wineserver -k with a prefix whose server is not running does nothing.
  ( QX_WINEPREFIX=$prefix; . "$here/wine-env.sh"; qx_wine_end )
done <<<"$prefixes"
rm -f "$QX_RUN_DIR/wineprefixes"
rm -rf "$QX_RUN_DIR"/with-display.*

echo "cleanup: done ($ended noted process groups and Xvfb servers ended; Wine ended in: ${ended_in[*]:-no prefix})"
