#!/usr/bin/env bash
# Builds the VXI-11 fuzz target with clang and runs it for a bounded time:
# fuzz/run-vxi11.sh [SECONDS] (60 by default). Fails on any crash or failed check; the input that
# caused it is left in build/fuzz/.
set -euo pipefail
usage() {
  echo "usage: fuzz/run-vxi11.sh [SECONDS]"
  echo "Builds vxi11_fuzz (clang, libFuzzer) in build/fuzz and runs it SECONDS (default 60); new inputs go to"
  echo "build/fuzz/vxi11-corpus/, the input of a crash to build/fuzz/vxi11-crash-*."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-60}" =~ ^[1-9][0-9]*$ ]]; then usage >&2; exit 2; fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${1:-60}
build=${QX_FUZZ_BUILD:-$here/../build/fuzz}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vxi11_fuzz

# New inputs go to a corpus of the run's own; the seeds stay as they are.
mkdir -p "$build/vxi11-corpus"
"$build/vxi11_fuzz" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
  -dict="$here/vxi11.dict" -artifact_prefix="$build/vxi11-" "$build/vxi11-corpus" "$here/vxi11-corpus"
