#!/usr/bin/env bash
# Opens the program properties sheet of tesselcore.dll under Xvfb and saves
# a PNG of each of its seven pages, for a person to look at.
#   usage: tools/settings-screenshots.sh [BUILD_DIR] [OUT_DIR]
# BUILD_DIR holds tesselcore.dll and test_sites.exe (default build-win);
# OUT_DIR receives settings-N-Page.png (default BUILD_DIR/screenshots).
# Needs Xvfb and ImageMagick's import.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
. "$top/tools/arch.sh"
build="$(cd "${1:-$top/$(tessel_arch_build "$(tessel_default_arch)")}" && pwd)"
out="${2:-$build/screenshots}"
mkdir -p "$out"
# A prefix of its own: switching the shared one to the X11 driver would
# disturb tests that run meanwhile.
export TESSEL_ARCH="$(tessel_arch_of_build "$build")"
echo "build: $TESSEL_ARCH ($build)"
export TESSEL_WINEPREFIX="${TESSEL_SHOT_PREFIX:-/tmp/tessel-wine-shots-$TESSEL_ARCH-$(id -u)}"
. "$top/tools/wine-env.sh"
wine_prepare_prefix

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  wine_set_graphics null
  wine_stop
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
sleep 1
wine_set_graphics x11
# The registry change reaches new processes of the running wineserver.
shots="$(mktemp -d)"
DISPLAY="$display" TESSEL_SHOT_DIR="$(win_path "$shots")" TESSEL_BUILD_DIR="$(win_path "$build")" \
  "$WINE" "$build/test_sites.exe" --gtest_filter='SitesSheet.SevenPagesOpenAndCancelAborts' &
run=$!
names=(Preferences Directories Site_List Logging Debug Firewall Extensions)
for n in 1 2 3 4 5 6 7; do
  for _ in $(seq 200); do [ -f "$shots/$n.ready" ] && break; sleep 0.1; done
  [ -f "$shots/$n.ready" ] || { echo "page $n never came up"; break; }
  png="$out/settings-$n-${names[$((n - 1))]}.png"
  DISPLAY="$display" import -window root -crop "$(cat "$shots/$n.ready")" +repage "$png"
  echo "$png"
  touch "$shots/$n.done"
done
wait "$run"
rm -rf "$shots"
