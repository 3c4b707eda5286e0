#!/usr/bin/env bash
# Sets everything up and runs the main job: starts a local vsftpd with a few
# files, builds the Windows binaries and runs them under Wine against it,
# printing the session log.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
jobs="${TESSEL_JOBS:-2}"

bash tools/setup.sh
. tools/wine-env.sh
wine_prepare_prefix

cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw32.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >build-win.log 2>&1 &&
  cmake --build build-win -j "$jobs" >>build-win.log 2>&1 || { tail -40 build-win.log; exit 1; }

run="$top/build-win/demo"
rm -rf "$run"; mkdir -p "$run"
read -r port _ < <(tools/vsftpd.sh start "$run/vsftpd")
trap 'tools/vsftpd.sh stop "$run/vsftpd"; wine_stop' EXIT
mkdir -p "$run/vsftpd/home/docs"
echo "Hello from the demo server" >"$run/vsftpd/home/readme.txt"
head -c 100000 /dev/urandom >"$run/vsftpd/home/docs/data.bin"
chown -R tessel "$run/vsftpd/home"

echo "== tesselcore session against vsftpd on 127.0.0.1:$port =="
"$WINE" build-win/tesseldrv.exe 127.0.0.1 "$port" tessel tessel "PWD" "CWD docs" "PWD" "NOOP" | tr -d '\r'

echo "== listing, download and upload through tesselcore's exports =="
local_dir="$(win_path "$run")"
"$WINE" build-win/tesseldrv.exe 127.0.0.1 "$port" tessel tessel "ls" "ls docs" \
  get docs/data.bin "$local_dir\\data.bin" put "$local_dir\\data.bin" copy.bin | tr -d '\r'
cmp "$run/vsftpd/home/docs/data.bin" "$run/data.bin" && cmp "$run/data.bin" "$run/vsftpd/home/copy.bin" &&
  echo "== download and upload are byte-identical"
