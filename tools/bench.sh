#!/usr/bin/env bash
# Measures: the message work (Google Benchmark, host build), start-up to panel shown under Wine
# against an empty dialog program (both Windows builds), the bus monitor's cost per call (64-bit),
# a bus call with the simulated instrument's front off and on (both), the size of the 32-bit
# program, the gateway's round trip beside a bare echo server (64-bit), the gateway's VXI-11
# requests against its raw socket with lxi-tools (native and 64-bit), the raw socket's round trip
# with the web page open in a browser and without (native and 64-bit), and the gateway's size. Builds only the programs
# it runs (in build/native, build/windows-x64 and build/windows-x86), and prints how long it took.
set -euo pipefail
usage() {
  cat <<'EOF'
usage: tools/bench.sh [STARTUP_RUNS]
Builds the programs it measures and prints the figures of the README's Performance section;
STARTUP_RUNS (default 5): start-ups per program and build under Wine.
Needs tools/setup.sh done, with the i386 registration.
EOF
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-5}" =~ ^[1-9][0-9]*$ ]]; then usage >&2; exit 2; fi
runs=${1:-5}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash tools/setup.sh --check i386 || exit 1
. tools/wine-env.sh
qx_wine_prefix

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
# The programs measured and what they load; no tests.
build() { local preset=$1; shift; cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" --target "$@" >/dev/null; }
build native message_bench taverix-gateway
build windows-x64 startup_bench qx7316 empty_dialog taverix_sim monitor_bench front_display_bench taverix-gateway echo_server
build windows-x86 startup_bench qx7316 empty_dialog taverix_sim front_display_bench taverix-gateway
echo "== Wine prefix ready and programs built in $SECONDS s"
echo "== message work (host, Google Benchmark)"
build/native/bin/message_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

for preset in windows-x64 windows-x86; do
  echo "== start-up under Wine ($preset)"
  tools/with-display.sh tools/wine-run.sh "build/$preset/bin/startup_bench.exe" "$runs"
done

echo "== the bus monitor's cost per call under Wine (windows-x64, logging on)"
monitor_log=build/windows-x64/bin/monitored/bench-monitor.log
rm -f "$monitor_log"
TAVERIX_MONITOR_LOG="Z:$(pwd -P)/$monitor_log" tools/wine-run.sh build/windows-x64/bin/monitor_bench.exe
rm -f "$monitor_log"

for preset in windows-x64 windows-x86; do
  echo "== a bus call with the simulated instrument's front display off and on ($preset)"
  tools/with-display.sh tools/wine-run.sh "build/$preset/bin/front_display_bench.exe"
done

echo "== size of the 32-bit program (goal: at most 262144 bytes)"
stat -c '%s bytes  %n' build/windows-x86/bin/qx7316.exe

echo "== gateway round trip of :FREQ? from one pyvisa client (64-bit, under Wine) beside a bare echo server"
/usr/bin/python3 bench/gateway_round_trip.py build/windows-x64/bin/taverix-gateway.exe build/windows-x64/bin/echo_server.exe tools/wine-run.sh
echo "== VXI-11 against the raw socket: lxi benchmark, 2000 *IDN? requests each, 5 rounds in turns after one not counted, in a network namespace of its own"
echo "-- native"
tests/gateway/in-netns.sh /usr/bin/python3 bench/vxi11_against_raw.py build/native/bin/taverix-gateway
echo "-- windows-x64, under Wine"
tests/gateway/in-netns.sh --wine /usr/bin/python3 bench/vxi11_against_raw.py build/windows-x64/bin/taverix-gateway.exe tools/wine-run.sh

echo "== the raw socket's round trip with the web page open in headless Chromium (polling every 500 ms) and without, 10 rounds of 1.5 s in turns"
echo "-- native"
/usr/bin/python3 bench/web_polling.py build/native/bin/taverix-gateway
echo "-- windows-x64, under Wine"
/usr/bin/python3 bench/web_polling.py build/windows-x64/bin/taverix-gateway.exe tools/wine-run.sh
echo "== size of the gateway (release, stripped)"
stat -c '%s bytes  %n' build/windows-x86/bin/taverix-gateway.exe build/windows-x64/bin/taverix-gateway.exe

echo "== bench.sh: took $((SECONDS / 60)) min $((SECONDS % 60)) s"
