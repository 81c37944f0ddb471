#!/usr/bin/env bash
# Builds every preset and runs every test: the host build, the sanitizer build, both Windows builds
# under Wine (the 32-bit one through the i386 emulation), the fuzz run, and memcheck of the host tests.
# Ends with one line "test.sh: N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

# Setup, then the run itself on one X display (a private Xvfb unless DISPLAY answers), so that
# Wine's desktop stays on one live display from the first GUI test to the last.
if [ -z "${QX_TEST_SH_DISPLAY:-}" ]; then
  bash tools/setup.sh || { echo "test.sh: setup failed" >&2; exit 1; }
  QX_TEST_SH_DISPLAY=1 exec tools/with-display.sh bash "$0" "$@"
fi
. tools/wine-env.sh
qx_wine_prefix || { echo "test.sh: cannot make the Wine prefix" >&2; exit 1; }
"$WINESERVER" -p </dev/null >/dev/null 2>&1 || true

passed=0 failed=0 failures=()
log_dir="$root/build/test-logs"
mkdir -p "$log_dir"

# Adds a ctest run's counts to the totals.
count_ctest() {
  local name=$1 log=$2 line total bad
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    failed=$((failed + 1)); failures+=("$name: ctest ran no test"); return
  fi
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad)); failed=$((failed + bad))
  [ "$bad" = 0 ] || failures+=("$name: $bad of $total failed (log: $log)")
}

run_preset() {
  local preset=$1 jobs=$2 log="$log_dir/$1.log"
  echo "== $preset"
  if ! cmake --preset "$preset" >"$log" 2>&1 || ! cmake --build --preset "$preset" >>"$log" 2>&1; then
    tail -n 40 "$log"
    failed=$((failed + 1)); failures+=("$preset: build failed (log: $log)"); return
  fi
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee -a "$log" | grep -E 'tests passed|\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)\)|\*\*\*'
  count_ctest "$preset" "$log"
}

run_preset native 2
run_preset native-sanitize 2
run_preset windows-x64 1
run_preset windows-x86 1

if [ -x fuzz/run.sh ]; then
  echo "== fuzz"
  if bash fuzz/run.sh "${QX_FUZZ_SECONDS:-60}" >"$log_dir/fuzz.log" 2>&1; then
    passed=$((passed + 1)); tail -n 3 "$log_dir/fuzz.log"
  else
    failed=$((failed + 1)); failures+=("fuzz (log: $log_dir/fuzz.log)"); tail -n 30 "$log_dir/fuzz.log"
  fi
fi

if [ -x tools/memcheck.sh ]; then
  echo "== memcheck"
  if bash tools/memcheck.sh build/native >"$log_dir/memcheck.log" 2>&1; then
    passed=$((passed + 1)); tail -n 3 "$log_dir/memcheck.log"
  else
    failed=$((failed + 1)); failures+=("memcheck (log: $log_dir/memcheck.log)"); tail -n 30 "$log_dir/memcheck.log"
  fi
fi

"$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
for f in "${failures[@]}"; do echo "FAILED: $f"; done
echo "test.sh: $passed passed, $failed failed"
[ "$failed" = 0 ]
