#!/usr/bin/env bash
# Measures: the message work (Google Benchmark, host build), start-up to panel shown under Wine
# against an empty dialog program (both Windows builds), the bus monitor's cost per call (64-bit),
# the size of the 32-bit program, and the gateway's VXI-11 requests against its raw socket.
#   tools/bench.sh [STARTUP_RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
runs=${1:-5}
bash tools/setup.sh --check i386 || exit 1
. tools/wine-env.sh
qx_wine_prefix

echo "== machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
for preset in native windows-x86 windows-x64; do
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null
done

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

echo "== size of the 32-bit program"
stat -c '%s bytes  %n' build/windows-x86/bin/qx7316.exe

echo "== gateway round trip of :FREQ? from one pyvisa client (64-bit, under Wine) beside a bare echo server"
/usr/bin/python3 bench/gateway_round_trip.py build/windows-x64/bin/taverix-gateway.exe build/windows-x64/bin/echo_server.exe tools/wine-run.sh

echo "== VXI-11 against the raw socket: lxi benchmark, 2000 *IDN? requests each, 3 rounds in turns, in a network namespace of its own"
echo "-- native"
tests/gateway/in-netns.sh /usr/bin/python3 bench/vxi11_against_raw.py build/native/bin/taverix-gateway
echo "-- windows-x64, under Wine"
tests/gateway/in-netns.sh --wine /usr/bin/python3 bench/vxi11_against_raw.py build/windows-x64/bin/taverix-gateway.exe tools/wine-run.sh
