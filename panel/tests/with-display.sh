#!/usr/bin/env bash
# Runs a command with an X display: the one in DISPLAY, or else an Xvfb of its own for the time of
# the command. Wine needs a display to create windows.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$fifo"' EXIT
read -r -t 30 number <"$fifo" || { echo "with-display: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$number" "$@"
