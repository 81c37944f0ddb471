#!/usr/bin/env bash
# Builds a fuzz target with clang and runs it for a bounded time: fuzz/run.sh [TARGET] [SECONDS],
# TARGET messages (the default), gateway, vxi11 or web, SECONDS 60 by default. Fails on any crash or
# failed check; the input that caused it is left in build/fuzz/.
set -euo pipefail
usage() {
  echo "usage: fuzz/run.sh [messages|gateway|vxi11|web] [SECONDS]"
  echo "Builds TARGET_fuzz (clang, libFuzzer; messages_fuzz by default) in build/fuzz and runs it SECONDS"
  echo "(default 60); new inputs go to build/fuzz/corpus/ (messages) or build/fuzz/TARGET-corpus/, the input"
  echo "of a crash to build/fuzz/crash-* or build/fuzz/TARGET-crash-*."
}
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
target=messages
case "${1:-}" in
  messages|gateway|vxi11|web) target=$1; shift ;;
esac
if [ $# -gt 1 ] || ! [[ "${1:-60}" =~ ^[1-9][0-9]*$ ]]; then usage >&2; exit 2; fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${1:-60}
build=${QX_FUZZ_BUILD:-$here/../build/fuzz}

# Each target's longest input, and the prefix of its seeds, new inputs and crashes.
case $target in
  messages) max_len=2048 prefix= ;;
  gateway) max_len=4096 prefix=gateway- ;;
  vxi11) max_len=20000 prefix=vxi11- ;;
  web) max_len=12000 prefix=web- ;;
esac

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${target}_fuzz"

# New inputs go to a corpus of the run's own; the seeds stay as they are.
mkdir -p "$build/${prefix}corpus"
"$build/${target}_fuzz" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
  -dict="$here/$target.dict" -artifact_prefix="$build/$prefix" "$build/${prefix}corpus" "$here/${prefix}corpus"
