#!/usr/bin/env bash
# Registers the shell extension in a throw-away prefix of its own, answering
# "Icon Placement" with the keyboard, and takes pictures of Wine's explorer
# showing the namespace root "Quillfold" on the desktop and in My Computer.
#   tools/shellext-screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$top/build-win}" && pwd)"
out="$(mkdir -p "${2:-$build/shots-shellext}" && cd "${2:-$build/shots-shellext}" && pwd)"
export TESSEL_WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-shellshots-$(id -u)}"
. "$top/tools/wine-env.sh"
wine_prepare_prefix
display=":$((40 + RANDOM % 50))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; wine_set_graphics null' EXIT
export DISPLAY="$display"
sleep 1
wine_set_graphics x11
dll="$(win_path "$build/tesselcore.dll")"
register() { # $1: keys before Return (empty: desktop)
  "$WINE" regsvr32 /s "$dll" &
  local pid=$!
  sleep 4
  [ -n "$1" ] && xdotool key $1 && sleep 0.5
  xdotool key Return
  wait $pid || true
}
# The desktop choice: the desktop folder lists "Quillfold".
register ""
"$WINE" explorer.exe /n >/dev/null 2>&1 &
sleep 6; import -window root "$out/desktop.png"; echo "$out/desktop.png"
# The My Computer choice.  Wine 8's explorer opens at the Desktop whatever
# root it is given, so this picture shows the desktop view again; the
# My Computer key itself is listed by the reg query below.
register "Down"
"$WINE" explorer.exe '/n,/root,::{20D04FE0-3AEA-1069-A2D8-08002B30309D}' >/dev/null 2>&1 &
sleep 10; import -window root "$out/mycomputer.png"; echo "$out/mycomputer.png"
"$WINE" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\MyComputer\Namespace' /s || true
"$WINE" reg query 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Desktop\Namespace' /s || true
wineserver -k || true
