#!/usr/bin/env bash
# Runs the installer tests of a build under X: the Program Manager DDE of
# Wine's shell answers only with the x11 driver.  They get a Wine prefix of
# their own (the installer changes WIN.INI, the registry and the Start Menu
# there) and an Xvfb display of their own, both stopped at the end.
#   tools/setup-x11-tests.sh BUILD_DIR [gtest filter]
# Used by ctest as "test_setup_x11".  TESSEL_SETUP_ARCH=x86_64 runs the i686
# build's tests in a 64-bit prefix, where the installer also puts the x86_64
# library into "x64" (the distribution carries it when build-win64 has one).
set -uo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
filter="${2:-*}"
. "$top/tools/arch.sh"
export TESSEL_ARCH="${TESSEL_SETUP_ARCH:-$(tessel_arch_of_build "$build")}"
base="${TESSEL_WINEPREFIX:-${WINEPREFIX:-/tmp/tessel-wine-$(id -u)}}"
export TESSEL_WINEPREFIX="${TESSEL_SETUP_WINEPREFIX:-$base-setupx11-$TESSEL_ARCH}"
unset WINEPREFIX WINELOADER
. "$top/tools/wine-env.sh"
wine_prepare_prefix >/dev/null || exit 1

xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for d in $(seq 120 160); do [ -e "/tmp/.X$d-lock" ] || break; done
Xvfb ":$d" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=":$d"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# The driver is chosen when the prefix's desktop starts: switch, then stop
# the wineserver so that the next program starts a new desktop.
wine_set_graphics x11
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true

export TESSEL_SETUP_X11=1
cd "$build"
# wine64 hands a 32-bit program on to the 32-bit loader by itself.
"$WINE" "$build/test_setup.exe" --gtest_filter="$filter"
