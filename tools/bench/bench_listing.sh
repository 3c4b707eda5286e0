#!/usr/bin/env bash
# Builds the listing decoder natively with optimisation (no sanitizers) and
# runs the decoding benchmark.  Usage: tools/bench/bench_listing.sh [lines]
set -euo pipefail
top="$(cd "$(dirname "$0")/../.." && pwd)"
out="${TESSEL_BENCH_BUILD:-$top/build-bench}"
mkdir -p "$out"
"${CXX:-clang++}" -std=c++17 -O2 -DNDEBUG -I"$top/include" -I"$top/listing" \
  "$top"/listing/*.cpp "$top/tools/bench/bench_listing.cpp" -o "$out/bench_listing"
"$out/bench_listing" "$@"
