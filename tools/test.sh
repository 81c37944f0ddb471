#!/usr/bin/env bash
# Builds every preset and runs every test: the host build, the sanitizer build, both Windows builds
# under Wine (the 32-bit one through the i386 emulation), the fuzz run, and memcheck of the host tests.
#
#   tools/test.sh [STEP...]     steps: scripts, native, native-sanitize, windows-x64, windows-x86, fuzz,
#                               fuzz-gateway, fuzz-vxi11, fuzz-web, soak, memcheck (default: all, in this order); -h: the usage
#
# Runs as the user and installs nothing: when something is missing it says what, and the command
# that fixes it (.ci/run runs tools/setup.sh first). Every GUI test runs on one private Xvfb
# (QX_REAL_DISPLAY=1: on DISPLAY) in the test Wine prefix (QX_WINEPREFIX), never the panel's.
# Ctrl+C or a kill ends the running step, the prefix's Wine processes and the Xvfb.
# Logs: build/test-logs/STEP.log. Ends with one line "test.sh: N passed, N failed".
set -uo pipefail
all_steps=(scripts native native-sanitize windows-x64 windows-x86 fuzz fuzz-gateway fuzz-vxi11 fuzz-web soak memcheck)
usage() {
  echo "usage: tools/test.sh [STEP...]"
  echo "steps, run in the order given (none: all of them, in this order): ${all_steps[*]}"
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
for step in "$@"; do
  [[ " ${all_steps[*]} " == *" $step "* ]] || { usage >&2; exit 2; }
done
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

[ $# -gt 0 ] && steps=("$@") || steps=("${all_steps[@]}")

# Checks, then the run itself on one X display, so that Wine's desktop stays on one live display
# from the first GUI test to the last.
if [ -z "${QX_TEST_SH_DISPLAY:-}" ]; then
  need=""
  for step in "${steps[@]}"; do [ "$step" != windows-x86 ] || need=i386; done
  bash tools/setup.sh --check $need || { echo "test.sh: not set up (see above)" >&2; exit 1; }
  QX_TEST_SH_DISPLAY=1 exec tools/with-display.sh bash "$0" "$@"
fi
. tools/wine-env.sh
. tools/process-group.sh
end_all() {
  qx_stop_group
  qx_wine_end
}
qx_on_exit end_all
qx_wine_prefix || { echo "test.sh: cannot make the Wine prefix" >&2; exit 1; }
qx_wine_note_prefix
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
  if ! qx_run cmake --preset "$preset" >"$log" 2>&1 || ! qx_run cmake --build --preset "$preset" >>"$log" 2>&1; then
    tail -n 40 "$log"
    failed=$((failed + 1)); failures+=("$preset: build failed (log: $log)"); return
  fi
  qx_run ctest --preset "$preset" -j "$jobs" >>"$log" 2>&1
  grep -E 'tests passed|\((Failed|Timeout|SEGFAULT|Subprocess aborted|Exception)\)|\*\*\*' "$log"
  count_ctest "$preset" "$log"
}

# A step that is a script of its own: it must be executable, else the step fails (never skipped).
run_script() {
  local name=$1 script=$2 log="$log_dir/$1.log"
  shift 2
  echo "== $name"
  if [ ! -x "$script" ]; then
    echo "$script is not executable (lost its run bit?): chmod +x $script"
    failed=$((failed + 1)); failures+=("$name: $script is not executable: chmod +x $script"); return
  fi
  if qx_run "$script" "$@" >"$log" 2>&1; then
    passed=$((passed + 1)); tail -n 3 "$log"
  else
    failed=$((failed + 1)); failures+=("$name (log: $log)"); tail -n 30 "$log"
  fi
}

for step in "${steps[@]}"; do
  step_start=$SECONDS
  case "$step" in
    scripts)
      run_script scripts tools/tests/scripts_test.sh
      run_script scripts-arguments tools/tests/arguments_test.sh
      run_script scripts-setup tools/tests/setup_test.sh ;;
    fuzz) run_script fuzz fuzz/run.sh messages "${QX_FUZZ_SECONDS:-30}" ;;
    fuzz-gateway) run_script fuzz-gateway fuzz/run.sh gateway "${QX_FUZZ_SECONDS:-30}" ;;
    fuzz-vxi11) run_script fuzz-vxi11 fuzz/run.sh vxi11 "${QX_FUZZ_SECONDS:-30}" ;;
    fuzz-web) run_script fuzz-web fuzz/run.sh web "${QX_FUZZ_SECONDS:-30}" ;;
    soak) run_script soak tools/soak.sh "${QX_SOAK_SECONDS:-20}" ;;
    memcheck) run_script memcheck tools/memcheck.sh build/native ;;
    windows-*) run_preset "$step" 1 ;;   # one GUI test at a time: they share the display and prefix
    *) run_preset "$step" 2 ;;
  esac
  echo "   ($step: $((SECONDS - step_start)) s)"
done

for f in "${failures[@]}"; do echo "FAILED: $f"; done
echo "test.sh: took $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "test.sh: $passed passed, $failed failed"
[ "$failed" = 0 ]
