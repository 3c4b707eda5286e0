#!/usr/bin/env bash
# Pictures of the client's option and session pages, the file-command
# dialogs ("Associate", "Verify Deletion", "Remote file permissions"), the
# About box and the main window with the alternate layout and a custom
# font, for a person to look at.
#   usage: tools/dialog-screenshots.sh [BUILD_DIR] [OUT_DIR]
# BUILD_DIR holds test_client.exe (default build-win); OUT_DIR receives
# NN-name.png (default BUILD_DIR/screenshots/client-dialogs).
# Needs Xvfb and ImageMagick's import.  Runs in a Wine prefix of its own.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build-win}" && pwd)"
out="${2:-$build/screenshots/client-dialogs}"
mkdir -p "$out"
command -v import >/dev/null || apt-get install -y imagemagick >/dev/null
. "$top/tools/arch.sh"
export TESSEL_ARCH="$(tessel_arch_of_build "$build")"
echo "build: $TESSEL_ARCH ($build)"
export TESSEL_WINEPREFIX="${TESSEL_SHOT_PREFIX:-/tmp/tessel-wine-shots-$TESSEL_ARCH-$(id -u)}"
. "$top/tools/wine-env.sh"
# The helpers are written for shells without -e/pipefail.
set +eo pipefail
wine_prepare_prefix || exit 1
set -e

display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
shots="$(mktemp -d)"
cleanup() {
  wine_set_graphics null
  wine_stop
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$shots"
}
trap cleanup EXIT
for _ in $(seq 50); do DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
wine_set_graphics x11

DISPLAY="$display" TESSEL_SHOT_DIR="$(win_path "$shots")" \
  "$WINE" "$build/test_client.exe" --gtest_filter='ClientScreenshots.*' >"$shots/run.log" 2>&1 &
run=$!
# Each picture is announced by NAME.ready (geometry WxH+X+Y) and released
# by NAME.done.
while kill -0 "$run" 2>/dev/null; do
  for ready in "$shots"/*.ready; do
    [ -e "$ready" ] || continue
    name="$(basename "$ready" .ready)"
    [ -e "$shots/$name.done" ] && continue
    DISPLAY="$display" import -window root -crop "$(cat "$ready")" +repage "$out/$name.png"
    echo "$out/$name.png"
    touch "$shots/$name.done"
  done
  sleep 0.2
done
wait "$run" || true
grep -v fixme "$shots/run.log" | tail -5
grep -E '^\[  (PASSED|FAILED|SKIPPED)' "$shots/run.log" || true
