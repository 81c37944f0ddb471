#!/usr/bin/env bash
# Runs every host test program of a build directory under valgrind's memcheck; fails on any error
# or leak. Usage: tools/memcheck.sh [BUILD_DIR]   (default build/native)
set -uo pipefail
usage() {
  echo "usage: tools/memcheck.sh [BUILD_DIR]"
  echo "Runs every host test program of BUILD_DIR/bin (default build/native) under valgrind's memcheck."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
  -*) usage >&2; exit 2 ;;
esac
[ $# -le 1 ] || { usage >&2; exit 2; }
dir=${1:-build/native}
[ -d "$dir/bin" ] || { echo "memcheck: no $dir/bin: build first (cmake --preset native && cmake --build --preset native)" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "memcheck: valgrind is not installed" >&2; exit 1; }
# no_heap_tests puts its own counting malloc in place of the C library's, which memcheck must own.
programs=$(find "$dir/bin" -maxdepth 1 -type f -name '*_tests' ! -name no_heap_tests -perm -u+x | sort)
[ -n "$programs" ] || { echo "memcheck: no test programs in $dir/bin" >&2; exit 1; }
status=0 n=0
for p in $programs; do
  n=$((n + 1))
  # The simulator's time-out waits are real; keep them short under valgrind.
  if TAVERIX_SIM_TIMEOUT_MS=1 valgrind --quiet --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect \
       "$p" --gtest_brief=1 >"$p.memcheck.log" 2>&1; then
    echo "memcheck: $(basename "$p") clean"
  else
    echo "memcheck: $(basename "$p") FAILED"; tail -n 40 "$p.memcheck.log"; status=1
  fi
done
echo "memcheck: $n programs checked"
[ ! -x "$dir/bin/no_heap_tests" ] || echo "memcheck: no_heap_tests not checked here (it replaces malloc, which memcheck must own); ctest runs it"
exit $status
