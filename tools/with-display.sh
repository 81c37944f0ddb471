#!/usr/bin/env bash
# Runs a command with an X display: tools/with-display.sh COMMAND [ARGS...]
# When DISPLAY names a display that answers, the command simply runs on it. Otherwise a private Xvfb
# (1024x768, 24-bit, on a free display number that Xvfb picks itself) is started for the command and
# stopped, by its own process id, when the command ends. The command's exit code is this script's.
set -uo pipefail

[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

display_answers() {
  [ -n "${DISPLAY:-}" ] || return 1
  if command -v xdpyinfo >/dev/null 2>&1; then
    xdpyinfo >/dev/null 2>&1
  else
    # A local display ":N" or ":N.S" answers when its socket is there.
    local number=${DISPLAY#*:}
    number=${number%%.*}
    [ -S "/tmp/.X11-unix/X$number" ]
  fi
}

if display_answers; then
  exec "$@"
fi

command -v Xvfb >/dev/null 2>&1 || { echo "with-display: no X display and no Xvfb: run tools/setup.sh" >&2; exit 125; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-display.XXXXXX")
xvfb_pid=""
stop_xvfb() {
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$workdir"
}
trap stop_xvfb EXIT
trap 'exit 130' INT TERM

# Xvfb writes the display number it chose to the given descriptor once it accepts connections.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!

for _ in $(seq 1 200); do
  [ -s "$workdir/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.05
done
number=$(tr -dc '0-9' <"$workdir/display")
if [ -z "$number" ]; then
  echo "with-display: Xvfb did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 125
fi

DISPLAY=":$number" "$@"
