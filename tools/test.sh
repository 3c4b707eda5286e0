#!/usr/bin/env bash
# Sets everything up and runs every test:
#   - the native build of the portable code under ASan/UBSan, and a short
#     fuzzing round of the listing decoder;
#   - each Windows build the host can run (mingw-w64; i686 where the kernel
#     runs 32-bit x86 programs, x86_64 always) with its tests under Wine,
#     against real servers and the scripted fake FTP server started here.
# TESSEL_ARCHES=i686 or x86_64 runs only that build (to reproduce the other
# kind of host).  Ends with one "N passed, N failed" line; the exit code is
# 0 only when all pass.
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
jobs="${TESSEL_JOBS:-2}"

bash tools/setup.sh || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }
. tools/arch.sh
tessel_select_arches || { echo "0 passed, 1 failed"; exit 1; }
echo "== Windows builds to run: $TESSEL_RUN_ARCHES"
[ -n "$TESSEL_ARCH_NOTE" ] && echo "== $TESSEL_ARCH_NOTE"
# Prefixes of the test run's own, apart from the ones people use by hand:
# BASE for i686, BASE64 for x86_64.
prefix_base="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-test-$(id -u)}"

run="$top/build-test"
rm -rf "$run"; mkdir -p "$run"
cleanup() {
  tools/testbed.sh stop "$run/bed" >/dev/null 2>&1
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT

passed=0; failed=0; flaky=(); broken=()
# Adds the counts of ctest's "NN% tests passed, F tests failed out of T".
tally() {
  local line f t
  line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)"
  [ -z "$line" ] && { failed=$((failed + 1)); broken+=("$2: ctest gave no summary"); return; }
  f="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
  t="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
  passed=$((passed + t - f)); failed=$((failed + f))
}
# Names of the cases ctest lists as failed with the given reason pattern.
failed_cases() { # LOG REASON-REGEX
  sed -n '/The following tests FAILED:/,$p' "$1" |
    sed -nE "s/^[[:space:]]+[0-9]+ - (.+) \\(($2)\\)\$/\\1/p"
}

# Native build and tests (portable code, sanitizers).
if CC=clang CXX=clang++ cmake -S . -B build-native -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$run/build-native.log" 2>&1 &&
   cmake --build build-native -j "$jobs" >>"$run/build-native.log" 2>&1; then
  ctest --test-dir build-native -j "$jobs" --output-on-failure 2>&1 | tee "$run/ctest-native.log"
  tally "$run/ctest-native.log" native
else
  tail -40 "$run/build-native.log"; failed=$((failed + 1)); broken+=("native build failed")
fi

# Servers of the test bed, shared by both builds.
eval "$(tools/testbed.sh start "$run/bed")" || { echo "test bed failed"; echo "$passed passed, $((failed + 1)) failed"; exit 1; }

# A display for the tests that take screenshots (the rest use the null driver).
if command -v Xvfb >/dev/null; then
  for d in $(seq 77 99); do [ -e "/tmp/.X$d-lock" ] || break; done
  Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export TESSEL_XDISPLAY=":$d"
fi

ran=()
for arch in $TESSEL_RUN_ARCHES; do
  echo "== $arch build"
  if ! why="$(tessel_arch_check "$arch")"; then
    echo "cannot build or run the $arch tests:"; echo "$why" | sed 's/^/  /'
    failed=$((failed + 1)); broken+=("$arch: tools missing"); continue
  fi
  build="$(tessel_arch_build "$arch")"
  if [ "$arch" = i686 ]; then prefix="$prefix_base"; else prefix="${prefix_base}64"; fi
  if ! (cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(tessel_arch_toolchain "$arch")" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$build" -j "$jobs") >"$run/build-$arch.log" 2>&1; then
    tail -40 "$run/build-$arch.log"; failed=$((failed + 1)); broken+=("$arch build failed"); continue
  fi
  export TESSEL_ARCH="$arch" TESSEL_WINEPREFIX="$prefix"
  unset WINELOADER
  . tools/wine-env.sh
  wine_prepare_prefix || { failed=$((failed + 1)); broken+=("$arch: Wine prefix"); continue; }
  wine_keep_alive
  log="$run/ctest-$arch.log"
  ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 90 2>&1 | tee "$log"
  tally "$log" "$arch"
  # A failed case gets one more try, and one that passes on it is reported
  # as flaky by name with how it failed first: Wine 8's wineserver has been
  # seen to die under many concurrent socket tests, a few cases still race
  # with other processes of the prefix, and one process crashed on its way
  # out after its cases had passed.  A real fault fails both tries.
  mapfile -t again < <(failed_cases "$log" '.*')
  if [ "${#again[@]}" -gt 0 ]; then
    wine_keep_stop; wine_stop; wine_prepare_prefix; wine_keep_alive
    re="^($(printf '%s\n' "${again[@]}" | sed 's/[.[\*^$()+?{}|]/\\&/g' | paste -sd'|'))\$"
    ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 90 -R "$re" 2>&1 | tee "$log.retry"
    mapfile -t still < <(failed_cases "$log.retry" '.*')
    for c in "${again[@]}"; do
      if ! printf '%s\n' "${still[@]}" | grep -qxF "$c"; then
        how="$(sed -n '/The following tests FAILED:/,$p' "$log" | sed -nE "s/^[[:space:]]+[0-9]+ - $(printf '%s' "$c" | sed 's/[.[\*^$()+?{}|]/\\&/g') \((.*)\)\$/\1/p" | head -1)"
        flaky+=("$arch:$c (${how:-failed})"); passed=$((passed + 1)); failed=$((failed - 1))
      fi
    done
  fi
  wine_keep_stop
  wine_stop
  ran+=("$arch")
done

# A short fuzzing round of the listing decoder under the sanitizers; longer
# runs: tools/fuzz_listing.sh SECONDS.
if TESSEL_FUZZ_BUILD="$top/build-fuzz" tools/fuzz_listing.sh "${TESSEL_FUZZ_SECONDS:-20}" >"$run/fuzz.log" 2>&1; then
  passed=$((passed + 1)); echo "fuzz_decodeline: passed"
else
  failed=$((failed + 1)); echo "fuzz_decodeline: FAILED"; tail -30 "$run/fuzz.log"
fi

echo
echo "Windows builds tested: ${ran[*]:-none}${TESSEL_ARCH_NOTE:+ ($TESSEL_ARCH_NOTE)}"
for b in "${broken[@]}"; do echo "broken: $b"; done
if [ "${#flaky[@]}" -gt 0 ]; then
  echo "flaky (failed, then passed on the second try; counted as passed): ${flaky[*]}"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
