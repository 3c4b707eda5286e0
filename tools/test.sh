#!/usr/bin/env bash
# Sets everything up and runs every test:
#   - the Windows build (mingw-w64) with its tests under Wine, against a real
#     vsftpd and the scripted fake FTP server started here;
#   - the native build of the portable code under ASan/UBSan.
# Ends with one "N passed, N failed" line; the exit code is 0 only when all pass.
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
jobs="${TESSEL_JOBS:-2}"

bash tools/setup.sh || { echo "setup failed"; exit 1; }
# A prefix of the test run's own, apart from the one people use by hand.
export TESSEL_WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-test-$(id -u)}"
. tools/wine-env.sh
wine_prepare_prefix

run="$top/build-win/testbed"
rm -rf "$run"; mkdir -p "$run"
cleanup() {
  tools/testbed.sh stop "$run" >/dev/null 2>&1
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null
  wine_stop
}
trap cleanup EXIT

# Builds.
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >build-win.log 2>&1 &&
  cmake --build build-win -j "$jobs" >>build-win.log 2>&1 || { tail -40 build-win.log; echo "0 passed, 1 failed"; exit 1; }
CC=clang CXX=clang++ cmake -S . -B build-native -G Ninja -DCMAKE_BUILD_TYPE=Debug >build-native.log 2>&1 &&
  cmake --build build-native -j "$jobs" >>build-native.log 2>&1 || { tail -40 build-native.log; echo "0 passed, 1 failed"; exit 1; }

# Servers of the test bed.
eval "$(tools/testbed.sh start "$run")" || { echo "test bed failed"; exit 1; }

# A display for the tests that take screenshots (the rest use the null driver).
if command -v Xvfb >/dev/null; then
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export TESSEL_XDISPLAY=:77
fi

passed=0; failed=0
tally() { # parses "NN% tests passed, F tests failed out of T"
  local line; line="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -1)"
  [ -z "$line" ] && { failed=$((failed + 1)); return; }
  local f t
  f="$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")"
  t="$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")"
  passed=$((passed + t - f)); failed=$((failed + f))
}
ctest --test-dir build-native -j "$jobs" --output-on-failure 2>&1 | tee "$run/ctest-native.log"; tally "$run/ctest-native.log"
# Each case gets a second chance: Wine 8's wineserver has been seen to die on
# an internal assertion when many socket tests run at once, which hangs the
# processes attached to it.  A real fault fails both tries.
ctest --test-dir build-win -j "$jobs" --output-on-failure --timeout 90 --repeat until-pass:2 2>&1 | tee "$run/ctest-win.log"; tally "$run/ctest-win.log"

# A short fuzzing round of the listing decoder under the sanitizers; longer
# runs: tools/fuzz_listing.sh SECONDS.
if TESSEL_FUZZ_BUILD="$top/build-fuzz" tools/fuzz_listing.sh "${TESSEL_FUZZ_SECONDS:-20}" >"$run/fuzz.log" 2>&1; then
  passed=$((passed + 1)); echo "fuzz_decodeline: passed"
else
  failed=$((failed + 1)); echo "fuzz_decodeline: FAILED"; tail -30 "$run/fuzz.log"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
