#!/usr/bin/env bash
# Builds the fuzz target with clang and runs it for a bounded time: fuzz/run.sh [SECONDS] (60 by
# default). Fails on any crash or failed check; the input that caused it is left in build/fuzz/.
set -euo pipefail
usage() {
  echo "usage: fuzz/run.sh [SECONDS]"
  echo "Builds messages_fuzz (clang, libFuzzer) in build/fuzz and runs it SECONDS (default 60); new inputs go to"
  echo "build/fuzz/corpus/, the input of a crash to build/fuzz/crash-*."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-60}" =~ ^[1-9][0-9]*$ ]]; then usage >&2; exit 2; fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${1:-60}
build=${QX_FUZZ_BUILD:-$here/../build/fuzz}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

# New inputs go to a corpus of the run's own; the seeds stay as they are.
mkdir -p "$build/corpus"
"$build/messages_fuzz" -max_total_time="$seconds" -max_len=2048 -print_final_stats=1 \
  -dict="$here/messages.dict" -artifact_prefix="$build/" "$build/corpus" "$here/corpus"
