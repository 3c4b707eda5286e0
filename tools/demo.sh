#!/usr/bin/env bash
# Sets everything up and runs the main job: the desktop client tessel95.exe
# under Wine against a local vsftpd that this script starts.
#   - a session section "demo" for the server goes into the client's
#     TESSEL.INI;
#   - unattended command-line downloads and uploads (a binary file and a text
#     file that the ASCII list sends in ASCII, the server converting its line
#     ends), with the client's session log, its transfer log and a check
#     that the copies are what they should be;
#   - with a display (DISPLAY set, or DEMO_GUI=1 for a virtual one and a
#     screenshot) the client's window connected to the same server.
# Environment: TESSEL_ARCHES=x86_64 (run that build), TESSEL_BUILD_DIR
# (default build-win, or build-win64 for x86_64), DEMO_GUI=1.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
jobs="${TESSEL_JOBS:-2}"

bash tools/setup.sh
# The build the host runs: i686, the product as specified, where the kernel
# runs 32-bit programs, else x86_64 (TESSEL_ARCHES=x86_64 picks it anyway).
. tools/arch.sh
arch="$(tessel_default_arch)"
build="${TESSEL_BUILD_DIR:-$(tessel_arch_build "$arch")}"
if [ "$arch" = i686 ]; then
  echo "== running the i686 build"
else
  echo "== running the x86_64 build${TESSEL_ARCHES:+ (TESSEL_ARCHES=$TESSEL_ARCHES)}"
  tessel_can_run_i386 || echo "   (this host does not run 32-bit x86 programs: IA-32 emulation is off)"
fi
export TESSEL_ARCH="$arch"
# A prefix of the demo's own: showing a window switches its graphics driver.
export TESSEL_WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-demo-$arch-$(id -u)}"
. tools/wine-env.sh
wine_prepare_prefix

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$(tessel_arch_toolchain "$arch")" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.log" 2>&1 &&
  cmake --build "$build" -j "$jobs" >>"$build.log" 2>&1 || { tail -40 "$build.log"; exit 1; }
build="$(cd "$build" && pwd)"

run="$build/demo"
rm -rf "$run"; mkdir -p "$run/client/local" "$run/client/down"
chmod 755 "$run"
xvfb_pid=""
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wine_set_graphics null >/dev/null 2>&1 || true
  tools/vsftpd.sh stop "$run/vsftpd" >/dev/null 2>&1 || true
  wine_stop
}
trap cleanup EXIT

# The server: ASCII transfers convert line ends, as RFC 959 servers do.
port="$(TESSEL_VSFTPD_ASCII=1 tools/vsftpd.sh start "$run/vsftpd" | awk 'NF == 2 && $1 ~ /^[0-9]+$/ { print $1 }')"
home="$run/vsftpd/home"
mkdir -p "$home/docs" "$home/upload"
printf 'Hello from the demo server.\nThese lines end in LF on the server.\n' >"$home/readme.txt"
head -c 5000000 /dev/urandom >"$home/docs/data.bin"
chown -R tessel "$home"

# The client's folder: TESSEL.INI with the session, and the ASCII list.
client="$run/client"
cat >"$client/TESSEL.INI" <<EOF
[_config_]
SESSION=demo
AUTOSTART=0
BELL=0
AMODE=1
tranrate=1
[demo]
HOST=127.0.0.1
PORT=$port
UID=tessel
PASVMODE=1
LOCDIR=$(win_path "$client/local")
EOF
printf '.txt\r\n' >"$client/TESSEL.EXT"
echo "== TESSEL.INI"
tr -d '\r' <"$client/TESSEL.INI"

tessel() { (cd "$client" && "$WINE" "$build/tessel95.exe" "$@"); }

echo
echo "== tessel95 -quiet -w tessel demo:/docs/data.bin local:...\\down\\data.bin"
tessel -quiet -w tessel demo:/docs/data.bin "local:$(win_path "$client/down")\\data.bin"
echo "== tessel95 -quiet -w tessel demo:/readme.txt local:...\\down\\readme.txt"
tessel -quiet -w tessel demo:/readme.txt "local:$(win_path "$client/down")\\readme.txt"
echo "== tessel95 -quiet -w tessel local:...\\down\\data.bin demo:/upload/data.bin"
tessel -quiet -w tessel "local:$(win_path "$client/down")\\data.bin" demo:/upload/data.bin
echo "== tessel95 -quiet -w tessel local:...\\down\\readme.txt demo:/upload/readme.txt"
tessel -quiet -w tessel "local:$(win_path "$client/down")\\readme.txt" demo:/upload/readme.txt

echo
# Unattended runs log into xferlog.txt in the current folder, which is the
# session's LOCDIR once the run has taken it.
echo "== session log of the last run (xferlog.txt)"
tr -d '\r' <"$client/local/xferlog.txt" | awk '/^- -$/ { n = NR } { l[NR] = $0 } END { for (i = n; i <= NR; ++i) print l[i] }'
echo
echo "== transfer log (TESSEL.LOG)"
tr -d '\r' <"$client/TESSEL.LOG"
echo
ok=1
cmp "$home/docs/data.bin" "$client/down/data.bin" && echo "binary download: byte-identical" || ok=0
cmp "$home/docs/data.bin" "$home/upload/data.bin" && echo "binary upload: byte-identical" || ok=0
cmp <(sed 's/$/\r/' "$home/readme.txt") "$client/down/readme.txt" && echo "text download: LF became CR LF" || ok=0
cmp "$home/readme.txt" "$home/upload/readme.txt" && echo "text upload: CR LF became LF again" || ok=0
[ "$ok" = 1 ] || { echo "== the copies differ"; exit 1; }

# The window, when there is a display to show it on.
if [ -n "${DISPLAY:-}" ] || [ "${DEMO_GUI:-0}" = 1 ]; then
  if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=":$(( 40 + RANDOM % 50 ))"
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  fi
  # The runs above started the prefix's desktop under the null driver; a
  # fresh wineserver starts it again on the display.
  wine_stop
  wine_set_graphics x11
  echo
  echo "== tessel95 -w tessel demo:/   (a remote path ending in / connects and stays open)"
  (cd "$client" && exec "$WINE" "$build/tessel95.exe" -w tessel demo:/) >/dev/null 2>&1 &
  client_pid=$!
  if [ -n "$xvfb_pid" ]; then
    for _ in $(seq 100); do
      command -v xdotool >/dev/null && [ -n "$(xdotool search --name '^TESSEL Pro' 2>/dev/null | head -1)" ] && break
      sleep 0.2
    done
    sleep 3
    if command -v import >/dev/null; then
      import -window root "$run/client-window.png" && echo "screenshot: $run/client-window.png"
    fi
  else
    echo "close the window to end the demo"
    wait "$client_pid" || true
  fi
  client_pid_done="$client_pid"; client_pid=""
  kill "$client_pid_done" 2>/dev/null || true
fi
echo "== demo done"
