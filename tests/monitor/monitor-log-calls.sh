#!/usr/bin/env bash
# Prints the calls of a monitor log, times and durations aside, one a line, in the simulator
# trace's form: monitor-log-calls.sh LOG
# Fails, naming the lines, when the log is missing or empty or has lines of neither form (a call,
# or a "# " remark).
set -uo pipefail
usage() { echo "usage: tests/monitor/monitor-log-calls.sh LOG"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 1 ] || { usage >&2; exit 2; }
log=$1
[ -s "$log" ] || { echo "FAILED: no monitor log at $log" >&2; exit 1; }
time_pattern='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} '
malformed=$(grep -Evc "${time_pattern}([0-9]+us gp_|# )" "$log")
[ "$malformed" = 0 ] || { echo "FAILED: $malformed log lines of neither form:" >&2; grep -Ev "${time_pattern}([0-9]+us gp_|# )" "$log" | head >&2; exit 1; }
sed -nE "s/${time_pattern}[0-9]+us (gp_.*)\$/\\1/p" "$log"
