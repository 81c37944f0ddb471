#!/usr/bin/env bash
# Runs a command on an X display of its own: tools/with-display.sh COMMAND [ARGS...]
# A private Xvfb (1024x768, 24-bit, on a free display number that Xvfb picks itself) is started for
# the command, so that test programs never open windows on the user's screen, whatever DISPLAY says.
# QX_REAL_DISPLAY=1 asks for the display in DISPLAY instead (it must answer). A command started on
# the private display of an outer with-display.sh stays on it (one test run, one display).
# On every way out (the command's end, Ctrl+C, kill) the command's processes, the Wine processes of
# the prefix that ran on the private display, and the Xvfb are ended. The command's exit code is
# this script's.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

usage() { echo "usage: tools/with-display.sh COMMAND [ARGS...]   (runs COMMAND on a private Xvfb)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*|"") usage >&2; exit 2 ;;
esac

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

if [ -n "${QX_PRIVATE_DISPLAY:-}" ] && [ "${DISPLAY:-}" = "$QX_PRIVATE_DISPLAY" ] && display_answers; then
  exec "$@"
fi
if [ "${QX_REAL_DISPLAY:-0}" = 1 ]; then
  display_answers || { echo "with-display: QX_REAL_DISPLAY=1, but DISPLAY='${DISPLAY:-}' does not answer" >&2; exit 125; }
  exec "$@"
fi

command -v Xvfb >/dev/null 2>&1 || { echo "with-display: Xvfb is not installed: run sudo $here/setup.sh" >&2; exit 125; }

. "$here/process-group.sh"
workdir=$(mktemp -d "$QX_RUN_DIR/with-display.XXXXXX")
xvfb_pid="" number=""

end_all() {
  qx_stop_group
  # The Wine processes that ran on this display are of no use without it (subshell: the Wine
  # variables stay out of this script).
  [ -z "$number" ] || ( . "$here/wine-env.sh" && qx_wine_end_on_display ":$number" )
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    rm -f "$QX_RUN_DIR/xvfb.$xvfb_pid"
  fi
  rm -rf "$workdir"
}
qx_on_exit end_all

# Xvfb, in a session of its own so that Ctrl+C does not end it before the programs on it, writes
# the display number it chose to the given descriptor once it accepts connections.
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 </dev/null &
xvfb_pid=$!
echo Xvfb >"$QX_RUN_DIR/xvfb.$xvfb_pid"

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

export DISPLAY=":$number" QX_PRIVATE_DISPLAY=":$number"
status=0
qx_run "$@" || status=$?
exit "$status"
