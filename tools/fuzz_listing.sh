#!/usr/bin/env bash
# Fuzzes the listing decoder (TESSEL_DecodeLine, every host type) under
# AddressSanitizer and UndefinedBehaviorSanitizer for a given time.
#   tools/fuzz_listing.sh [seconds]     (default 60)
# Builds in build-fuzz (TESSEL_FUZZ_BUILD overrides) with the decoder itself
# instrumented for coverage, starts from the seed corpus in
# tests/fuzz/corpus_decodeline and keeps what it learns in the build folder.
# Exit code 0 when nothing was found; a crashing input is left in the build
# folder as crash-* and named on the output.
set -euo pipefail
seconds="${1:-60}"
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSEL_FUZZ_BUILD:-$top/build-fuzz}"
jobs="${TESSEL_JOBS:-2}"

CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  >"$build.log" 2>&1 || { tail -20 "$build.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target fuzz_decodeline >>"$build.log" 2>&1 ||
  { tail -40 "$build.log"; exit 1; }

corpus="$build/corpus_decodeline"
mkdir -p "$corpus"
# Lines reach 512 bytes in the decoder; longer inputs only test the cut.
"$build/fuzz_decodeline" "$corpus" "$top/tests/fuzz/corpus_decodeline" \
  -max_total_time="$seconds" -max_len="${TESSEL_FUZZ_MAX_LEN:-1200}" -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/" 2>&1 | tail -25
