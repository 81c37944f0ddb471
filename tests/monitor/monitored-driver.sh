#!/usr/bin/env bash
# Runs the panel driver from a test bed whose TAVERIX.dll is the bus monitor, and checks the
# monitor's log:
#   monitored-driver.sh WINE_RUN BED pass GTEST_FILTER
#     the driver's tests pass through the monitor, and the monitor's log, times and durations
#     aside, equals the simulator's traces of all the runs line for line;
#   monitored-driver.sh WINE_RUN BED refuse CODE
#     the bed has no working library: bring-up fails with CODE and the panel stays usable, and the
#     log holds the reason and the run's three calls (two bring-ups, the release), each with CODE.
set -uo pipefail
usage() { echo "usage: tests/monitor/monitored-driver.sh WINE_RUN BED pass GTEST_FILTER | WINE_RUN BED refuse CODE"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -ge 4 ] && [[ "$3" = pass || "$3" = refuse ]] || { usage >&2; exit 2; }
wine_run=$1 bed=$2 mode=$3 argument=$4
log=$bed/monitor.log
traces=$bed/simulator-traces.log
rm -f "$log" "$traces"
# Both files as the Windows programs see them (Wine's drive Z: is the root).
export TAVERIX_MONITOR_LOG="Z:${log//\//\\}"
export QX_DRIVER_TRACE_COPY="Z:${traces//\//\\}"
if [ "$mode" = pass ]; then
  filter=$argument
else
  export QX_DRIVER_MONITOR_CODE=$argument
  filter='PanelBehindMonitorWithoutLibrary.*'
fi

"$wine_run" "$bed/panel_driver_tests.exe" --gtest_filter="$filter" \
  || { echo "FAILED: the driver's tests through the monitor" >&2; exit 1; }

calls=$("$(dirname "$0")/monitor-log-calls.sh" "$log") || exit 1
time_pattern='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} '

if [ "$mode" = pass ]; then
  traced=$(grep -v '^# ' "$traces")
  [ -n "$traced" ] || { echo "FAILED: no simulator trace at $traces" >&2; exit 1; }
  diff <(echo "$traced") <(echo "$calls") >&2 \
    || { echo "FAILED: the monitor's log differs from the simulator's traces (< trace, > log)" >&2; exit 1; }
  echo "ok: $(echo "$calls" | wc -l) calls, the monitor's log equals the simulator's traces"
else
  code=$argument
  expected=$(printf 'gp_init(1, 0, 0) = %s\ngp_init(1, 0, 0) = %s\ngp_lcl("") = %s' "$code" "$code" "$code")
  diff <(echo "$expected") <(echo "$calls") >&2 || { echo "FAILED: the calls in the monitor's log" >&2; exit 1; }
  grep -Eq "${time_pattern}# target \".*\" .*: every call returns ${code}\$" "$log" \
    || { echo "FAILED: no reason in the monitor's log" >&2; cat "$log" >&2; exit 1; }
  echo "ok: the calls refused with $code, the reason logged once"
fi
