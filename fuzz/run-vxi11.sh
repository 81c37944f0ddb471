#!/usr/bin/env bash
# Builds the VXI-11 fuzz target with clang and runs it for a bounded time:
# fuzz/run-vxi11.sh [SECONDS] (60 by default). Fails on any crash or failed check; the input that
# caused it is left in build/fuzz/.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
seconds=${1:-60}
build=${QX_FUZZ_BUILD:-$here/../build/fuzz}

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vxi11_fuzz

# New inputs go to a corpus of the run's own; the seeds stay as they are.
mkdir -p "$build/vxi11-corpus"
"$build/vxi11_fuzz" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
  -artifact_prefix="$build/vxi11-" "$build/vxi11-corpus" "$here/vxi11-corpus"
