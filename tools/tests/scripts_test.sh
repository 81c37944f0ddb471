#!/usr/bin/env bash
# Checks the display and clean-up behaviour of the scripts that every test run relies on:
# tools/with-display.sh (a private display whatever DISPLAY says, one display for nested calls, the
# real one on request, the command's exit code, everything ended on TERM) and tools/cleanup.sh
# (what a run killed with -9 left behind). Needs Xvfb and xdpyinfo; runs as any user in a run folder
# of its own, so it touches nothing of other runs. Prints one line per check; fails if any fails.
set -uo pipefail
case "${1:-}" in
  -h|--help) echo "usage: tools/tests/scripts_test.sh   (no arguments)"; exit 0 ;;
  ?*) echo "usage: tools/tests/scripts_test.sh   (no arguments)" >&2; exit 2 ;;
esac
tools=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/scripts-test.XXXXXX")
export QX_RUN_DIR="$work/run" QX_WINEPREFIX="$work/no-wineprefix"
unset QX_PRIVATE_DISPLAY QX_REAL_DISPLAY
failures=0 started=()

check() {   # check NAME COMMAND...: passes when the command succeeds
  local name=$1; shift
  if "$@"; then echo "ok: $name"; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
# Waits, at most 30 s, until the command succeeds.
wait_for() { local i; for i in $(seq 1 300); do "$@" && return 0; sleep 0.1; done; return 1; }
gone() { ! kill -0 "$1" 2>/dev/null; }
ended() { ! ps -o stat= -p "$1" 2>/dev/null | grep -qv '^Z'; }   # gone, or a zombie of ours
answers() { DISPLAY=$1 xdpyinfo >/dev/null 2>&1; }
noted_xvfb() { ls "$QX_RUN_DIR" 2>/dev/null | sed -n 's/^xvfb\.//p' | head -n 1; }
finish() {
  local pid
  for pid in "${started[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  [ -z "$(noted_xvfb)" ] || kill "$(noted_xvfb)" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

# A private display, even when DISPLAY names one that answers; nested calls stay on it; the real
# display only on request.
outer=$("$tools/with-display.sh" bash -c 'echo "$DISPLAY"')
check "with-display.sh gives its command a display" test -n "$outer"
displays=$("$tools/with-display.sh" bash -c '
  inner=$('"$tools"'/with-display.sh bash -c "echo \$DISPLAY")
  other=$(unset QX_PRIVATE_DISPLAY; '"$tools"'/with-display.sh bash -c "echo \$DISPLAY")
  real=$(unset QX_PRIVATE_DISPLAY; QX_REAL_DISPLAY=1 '"$tools"'/with-display.sh bash -c "echo \$DISPLAY")
  echo "$DISPLAY $inner $other $real"')
read -r mine inner other real <<<"$displays"
check "a nested call runs on the same private display ($mine, $inner)" test "$inner" = "$mine"
check "a DISPLAY that answers is not used: a private one instead ($other beside $mine)" \
  test -n "$other" -a "$other" != "$mine"
check "QX_REAL_DISPLAY=1 runs on DISPLAY ($real)" test "$real" = "$mine"
check "the private display is gone when the command has ended" wait_for eval "! answers $mine"

"$tools/with-display.sh" bash -c 'exit 7'
check "the command's exit code is with-display.sh's" test $? = 7

# TERM: the command (in a group of its own) and the Xvfb end, and nothing is left noted.
"$tools/with-display.sh" bash -c 'echo $$ >"$0"; echo "$DISPLAY" >"$0.display"; exec sleep 300' "$work/command" &
wrapper=$!; started+=("$wrapper")
check "the command starts" wait_for test -s "$work/command.display"
command_pid=$(cat "$work/command") xvfb=$(noted_xvfb) display=$(cat "$work/command.display")
kill -TERM "$wrapper"
wait_for ended "$wrapper" || kill -KILL "$wrapper"
wait "$wrapper"; status=$?
check "TERM: with-display.sh ends with 143" test "$status" = 143
check "TERM: the command is ended" wait_for gone "$command_pid"
check "TERM: the Xvfb is ended" wait_for gone "$xvfb"
check "TERM: its display no longer answers" eval "! answers $display"
check "TERM: no notes are left" test -z "$(ls "$QX_RUN_DIR" | grep -v '^wineprefixes$')"

# kill -9: the command and the Xvfb stay; tools/cleanup.sh ends both.
"$tools/with-display.sh" bash -c 'echo $$ >"$0"; exec sleep 300' "$work/command2" &
wrapper=$!; started+=("$wrapper")
check "the second command starts" wait_for test -s "$work/command2"
command_pid=$(cat "$work/command2"); started+=("$command_pid")
wait_for test -n "$(noted_xvfb)"; xvfb=$(noted_xvfb)
kill -KILL "$wrapper"; wait "$wrapper" 2>/dev/null
check "kill -9: the command is still running" kill -0 "$command_pid"
"$tools/cleanup.sh" >"$work/cleanup.log" 2>&1
check "cleanup.sh: the command is ended" wait_for gone "$command_pid"
check "cleanup.sh: the Xvfb is ended" wait_for gone "$xvfb"
check "cleanup.sh: the notes are gone" test -z "$(ls "$QX_RUN_DIR")"

echo "scripts_test: $failures failed"
[ "$failures" = 0 ]
