#!/usr/bin/env bash
# Every script of the project (each executable file starting with "#!", build/ aside, found anew
# on every run) answers -h and --help with its usage on stdout and exit code 0, and refuses an
# option it does not know with its usage on stderr and exit code 2; either way it does nothing
# else: no process of its own is left, none it did not start is ended (a process group noted for
# tools/cleanup.sh stands for them), and no file is made, changed or removed.
# The scripts run from a copy of the source tree, with HOME, TMPDIR, the run folder and the Wine
# prefixes in a folder of the test's own, so that one that does more than it should touches
# nothing outside; each run is bounded to 60 s. Python scripts run where pyvisa cannot be imported,
# as on a machine without it, so that one importing it before reading its arguments fails here
# too. Prints one line per check; fails if any fails.
set -uo pipefail
usage() { echo "usage: tools/tests/arguments_test.sh   (no arguments)"; }
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  ?*) usage >&2; exit 2 ;;
esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/arguments-test.XXXXXX")
copy=$work/source mark="arguments-test-$$" failures=0 sentinel=""

# The processes started with the mark in their environment, however far they went (setsid, daemons).
marked() { grep -lzx "QX_ARGUMENTS_TEST=$mark" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3; }
end_marked() { local pids; pids=$(marked); [ -z "$pids" ] || kill -KILL $pids 2>/dev/null; }
# A process group noted as tools/cleanup.sh finds them, which nothing here may end.
start_sentinel() {
  setsid sleep 3600 </dev/null >/dev/null 2>&1 &
  sentinel=$!
  disown "$sentinel"
  echo "sleep 3600 (the arguments test's sentinel)" >"$work/run/group.$sentinel"
}
finish() {
  end_marked
  [ -z "$sentinel" ] || kill -KILL -- "-$sentinel" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT

mkdir -p "$copy" "$work/home" "$work/tmp" "$work/run" "$work/python/pyvisa" "$work/python/pyvisa_py"
for module in pyvisa pyvisa_py; do
  echo "raise ModuleNotFoundError(\"No module named '$module' (hidden by arguments_test.sh)\")" \
    >"$work/python/$module/__init__.py"
done
tar -C "$root" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy" -xf -
start_sentinel
snapshot() { find "$copy" "$work/home" "$work/tmp" "$work/run" -printf '%p %s %T@\n' | sort; }

# check_run SCRIPT ARGUMENT STATUS STREAM: runs the script with the argument and checks the exit
# code, that the usage naming the script is on STREAM (out or err) and the other stream is empty,
# and that nothing else happened.
check_run() {
  local script=$1 argument=$2 want=$3 stream=$4 status problems=() before after left quiet
  before=$(snapshot)
  (
    cd "$copy" && exec env -u DISPLAY -u QX_PRIVATE_DISPLAY -u QX_REAL_DISPLAY -u QX_TEST_SH_DISPLAY \
      HOME="$work/home" XDG_CACHE_HOME="$work/home/.cache" TMPDIR="$work/tmp" QX_RUN_DIR="$work/run" \
      QX_WINEPREFIX="$work/home/wineprefix" QX_PANEL_WINEPREFIX="$work/home/wineprefix-panel" \
      QX_FUZZ_BUILD="$copy/build/fuzz" QX_ARGUMENTS_TEST="$mark" \
      PYTHONPATH="$work/python" PYTHONDONTWRITEBYTECODE=1 \
      timeout -k 5 60 "./$script" "$argument"
  ) >"$work/out" 2>"$work/err" </dev/null
  status=$?
  left=$(marked | wc -l)
  after=$(snapshot)
  [ "$stream" = out ] && quiet=err || quiet=out
  [ "$status" = "$want" ] || problems+=("exit code $status")
  [ "$status" != 124 ] || problems+=("still running after 60 s")
  head -n 1 "$work/$stream" | grep -q "^usage: .*${script##*/}" || problems+=("no usage naming ${script##*/} on std$stream")
  [ ! -s "$work/$quiet" ] || problems+=("std$quiet: $(head -c 200 "$work/$quiet" | tr '\n' ' ')")
  [ "$left" = 0 ] || problems+=("$left processes left running")
  kill -0 "$sentinel" 2>/dev/null || problems+=("ended a noted process group")
  [ "$before" = "$after" ] ||
    problems+=("files made, changed or removed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -n 3 | tr '\n' ' ')")
  if [ "${#problems[@]}" = 0 ]; then
    echo "ok: $script $argument: usage on std$stream, exit code $want, nothing else"
  else
    echo "FAILED: $script $argument: $(IFS=';'; echo "${problems[*]}")"
    failures=$((failures + 1))
    end_marked
    kill -0 "$sentinel" 2>/dev/null || start_sentinel
  fi
}

scripts=()
while IFS= read -r file; do
  [ "$(head -c 2 "$copy/$file")" = '#!' ] && scripts+=("$file")
done < <(cd "$copy" && find . -path ./build -prune -o -type f -perm -u+x -print | sed 's|^\./||' | LC_ALL=C sort)
if [[ " ${scripts[*]} " == *" tools/test.sh "* ]]; then
  echo "ok: found ${#scripts[@]} scripts"
else
  echo "FAILED: the scripts were not found (${scripts[*]:-none})"; failures=$((failures + 1))
fi

for script in "${scripts[@]}"; do
  check_run "$script" --help 0 out
  check_run "$script" -h 0 out
  check_run "$script" --no-such-option 2 err
done

echo "arguments_test: $failures failed"
[ "$failures" = 0 ]
