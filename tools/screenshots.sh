#!/usr/bin/env bash
# Screenshots of the desktop client against a local vsftpd:
#   tools/screenshots.sh [OUTDIR]     (default: BUILD/screenshots)
# Starts its own vsftpd with a few files and a subdirectory, writes a
# TESSEL.INI whose session points at it, runs tessel95.exe under Xvfb with
# Wine's x11 driver and saves:
#   1-start.png      the window after start
#   2-connected.png  connected, the remote pane listing the server's files
#   3-subdir.png     after changing into the subdirectory
#   4-logwindow.png  with the log window open
#   5-balloon.png    balloon help over the download arrow
#   6-progress.png   the progress dialog during a 256 MiB download
#   7-overwrite.png  the overwrite question ("Yes to All" offered)
# Needs a build in build-win, or build-win64 on hosts without 32-bit
# support (or TESSEL_BUILD_DIR).  Runs in a Wine
# prefix of its own (switching the graphics driver to x11 there never
# touches the prefix tests run in).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
. "$top/tools/arch.sh"
# The build the host runs (i686 where it can), unless one is named.
build="${TESSEL_BUILD_DIR:-$top/$(tessel_arch_build "$(tessel_default_arch)")}"
out="$(mkdir -p "${1:-$build/screenshots}" && cd "${1:-$build/screenshots}" && pwd)"
work="$(mktemp -d /tmp/tessel-shots.XXXXXX)"
chmod 755 "$work" # vsftpd's user must pass through it
display=":$(( 40 + RANDOM % 50 ))"

command -v xdotool >/dev/null || apt-get install -y xdotool >/dev/null
command -v import >/dev/null || apt-get install -y imagemagick >/dev/null

export TESSEL_ARCH="$(tessel_arch_of_build "$build")"
echo "build: $TESSEL_ARCH ($build)"
export TESSEL_WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-shots-$TESSEL_ARCH-$(id -u)}"
. "$top/tools/wine-env.sh"
wine_prepare_prefix

xvfb_pid=""
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wine_set_graphics null
  "$top/tools/vsftpd.sh" stop "$work/vsftpd" >/dev/null 2>&1 || true
  [ -n "${TESSEL_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# Server with something to show; at most 20 MB/s, so that a 256 MiB
# download lasts long enough to be seen.
read -r port _ < <(TESSEL_VSFTPD_RATE=20000000 "$top/tools/vsftpd.sh" start "$work/vsftpd" | tail -1)
home="$work/vsftpd/home"
mkdir -p "$home/projects/alpha" "$home/projects/beta" "$home/docs"
head -c 123456 /dev/urandom >"$home/archive.zip"
head -c 2048 /dev/urandom >"$home/image.bin"
printf 'Read me first.\r\n' >"$home/README.TXT"
seq 1 5000 >"$home/numbers.txt"
head -c 40960 /dev/urandom >"$home/projects/release-1.0.tar.gz"
printf 'notes\r\n' >"$home/projects/notes.txt"
truncate -s 256M "$home/big.bin"
touch -d '2024-03-15 10:30' "$home/archive.zip"
touch -d '2023-11-02 08:05' "$home/README.TXT"
chown -R tessel "$home"

# Client folder with its INI file.
run="$work/client"
mkdir -p "$run/local/src"
cp "$build/tessel95.exe" "$build/tesselcore.dll" "$run/"
printf 'local file\r\n' >"$run/local/hello.txt"
head -c 5000 /dev/urandom >"$run/local/setup.exe"
cat >"$run/TESSEL.INI" <<EOF
[_config_]
SESSION=vsftpd
AUTOSTART=0
BELL=0
balloon=1
LOC=20,20,980,660,470,470
[vsftpd]
HOST=127.0.0.1
PORT=$port
UID=tessel
LOCDIR=$(win_path "$run/local")
EOF

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
wine_set_graphics x11

shot() { sleep "${2:-2}"; import -window root "$out/$1"; echo "$out/$1"; }
main_window() { xdotool search --name '^TESSEL Pro' | head -1; }

# 1. After start, not connected.
(cd "$run" && exec "$WINE" tessel95.exe) >/dev/null 2>&1 &
client_pid=$!
for _ in $(seq 100); do [ -n "$(main_window)" ] && break; sleep 0.2; done
shot 1-start.png 3
kill "$client_pid" 2>/dev/null || true
wait "$client_pid" 2>/dev/null || true
sleep 1

# 2. Connected: a remote path ending in "/" connects and stays open.
(cd "$run" && exec "$WINE" tessel95.exe -w tessel vsftpd:/) >/dev/null 2>&1 &
client_pid=$!
for _ in $(seq 100); do [ -n "$(main_window)" ] && break; sleep 0.2; done
shot 2-connected.png 4

# 3. Into "projects": type its first letter in the remote list, Enter.
win="$(main_window)"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win" || true
eval "$(xdotool getwindowgeometry --shell "$win")"

# The remote list sits right of the middle; click an empty spot low in it.
xdotool mousemove $((X + 690)) $((Y + 330)) click 1
sleep 0.5
xdotool type --delay 200 p
xdotool key Return
shot 3-subdir.png 3

# 5. Balloon help over the download arrow (balloon=1 in the INI).
xdotool mousemove $((X + 465)) $((Y + 276))
sleep 0.3
xdotool mousemove $((X + 470)) $((Y + 283))
shot 5-balloon.png 1

# 4. The log window (Alt+L).
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool key alt+l
shot 4-logwindow.png 3

xdotool key --window "$win" alt+x 2>/dev/null || true
sleep 1
kill "$client_pid" 2>/dev/null || true
wait "$client_pid" 2>/dev/null || true
sleep 1

# 6. The progress dialog: a fresh window at the top folder, "big.bin"
# chosen by typing its first letter in the remote list, Alt+R to download
# ("<" is typed with Shift, which would turn prompting for names on).
(cd "$run" && exec "$WINE" tessel95.exe -w tessel vsftpd:/) >/dev/null 2>&1 &
client_pid=$!
for _ in $(seq 100); do [ -n "$(main_window)" ] && break; sleep 0.2; done
sleep 3
win="$(main_window)"
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus "$win" || true
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + 690)) $((Y + 330)) click 1
sleep 0.5
xdotool type --delay 200 b
xdotool key alt+r
shot 6-progress.png 4
# Cancel it: a click on the dialog's Cancel button (centred, near the
# bottom; there is no window manager to draw a caption).
status="$(xdotool search --name '^Transfer Status' 2>/dev/null | head -1 || true)"
if [ -n "$status" ]; then
  eval "$(xdotool getwindowgeometry --shell "$status" | sed 's/^/S/')"
  xdotool mousemove $((SX + SWIDTH / 2)) $((SY + SHEIGHT * 82 / 100)) click 1
fi
sleep 3

# 7. The overwrite question: two files downloaded, then asked for again.
xdotool windowactivate --sync "$win" 2>/dev/null || true
xdotool mousemove $((X + 690)) $((Y + 330)) click 1
sleep 0.5
xdotool type --delay 200 n
xdotool key --delay 200 shift+Down
xdotool key alt+r
sleep 8
# The progress dialog took the focus with it; back into the list.
xdotool mousemove $((X + 690)) $((Y + 330)) click 1
sleep 0.5
xdotool type --delay 200 n
xdotool key --delay 200 shift+Down
xdotool key alt+r
shot 7-overwrite.png 3
# "No" for both (Escape reaches the question, which has the focus).
for _ in 1 2; do
  xdotool key Escape 2>/dev/null || true
  sleep 1
done
xdotool key --window "$win" alt+x 2>/dev/null || true
sleep 1
