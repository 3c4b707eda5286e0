#!/usr/bin/env bash
# Screenshots of the installer under Xvfb:
#   tools/setup-screenshots.sh [OUTDIR]   (default: BUILD/screenshots-setup)
# Runs an installation from the distribution folder of the build in
# TESSEL_BUILD_DIR (default build-win) in a Wine prefix of its own and saves
#   1-main.png     the main window with its logo and the install dialog
#   2-options.png  the options dialog
#   3-group.png    the Program Manager group dialog
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${TESSEL_BUILD_DIR:-$top/build-win}"
out="$(mkdir -p "${1:-$build/screenshots-setup}" && cd "${1:-$build/screenshots-setup}" && pwd)"
command -v import >/dev/null || apt-get install -y imagemagick >/dev/null
export TESSEL_SHOT_DIR="$out"
export TESSEL_SETUP_WINEPREFIX="${TESSEL_SETUP_WINEPREFIX:-/tmp/tessel-wine-setupshots-$(id -u)}"
"$top/tools/setup-x11-tests.sh" "$build" 'SetupShots.*'
ls "$out"/*.png
