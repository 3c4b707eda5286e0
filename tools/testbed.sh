#!/usr/bin/env bash
# Starts or stops the servers of the test bed in DIR and prints the variables
# the tests read, ready for eval:
#   eval "$(tools/testbed.sh start /tmp/mybed)"   ...   tools/testbed.sh stop /tmp/mybed
# vsftpd: TESSEL_VSFTPD_PORT/_ROOT/_ROOT_WIN/_USER/_PASS (root: DIR/vsftpd,
# user files in DIR/vsftpd/home, anonymous files in DIR/vsftpd/pub);
# fake server: TESSEL_FAKEFTPD_PORT.
# A second vsftpd for copies between two servers: TESSEL_VSFTPD2_PORT/_ROOT/
# _ROOT_WIN (both allow data connections from and to other addresses).
# A third vsftpd that converts line ends in ASCII mode and sends at most
# 4 MB/s: TESSEL_VSFTPD3_PORT/_ROOT/_ROOT_WIN.
# A fourth one drops sessions idle for 2 s (keep-alive and reconnect tests):
# TESSEL_VSFTPD_IDLE_PORT.
# A local web server (files in DIR/www): TESSEL_HTTP_PORT/_ROOT/_ROOT_WIN; an
# HTTP proxy (tinyproxy, when installed): TESSEL_PROXY_PORT.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cmd="${1:?start|stop}"
dir="$(mkdir -p "${2:?DIR}" && cd "$2" && pwd)"
case "$cmd" in
start)
  read -r vport _ < <(TESSEL_VSFTPD_FXP=1 "$top/tools/vsftpd.sh" start "$dir/vsftpd")
  read -r vport2 _ < <(TESSEL_VSFTPD_FXP=1 "$top/tools/vsftpd.sh" start "$dir/vsftpd2")
  # A third one converts line ends in ASCII mode and sends at most 4 MB/s,
  # so a test can stop it in the middle of a file.
  read -r vport3 _ < <(TESSEL_VSFTPD_ASCII=1 TESSEL_VSFTPD_RATE=4000000 "$top/tools/vsftpd.sh" start "$dir/vsftpd3")
  read -r vport4 _ < <(TESSEL_VSFTPD_IDLE=2 "$top/tools/vsftpd.sh" start "$dir/vsftpd4")
  mkdir -p "$dir/www"
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$dir/www" >"$dir/http.out" 2>&1 &
  echo $! >"$dir/http.pid"
  for _ in $(seq 50); do grep -q ' port ' "$dir/http.out" 2>/dev/null && break; sleep 0.1; done
  hport="$(grep -o ' port [0-9]*' "$dir/http.out" | head -1 | awk '{print $2}')"
  pport=""
  if command -v tinyproxy >/dev/null; then
    # tinyproxy drops to nobody, who must be able to write its log.
    mkdir -p "$dir/proxy"; chmod 777 "$dir/proxy"
    pport="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
    cat >"$dir/proxy/tinyproxy.conf" <<CONF
User nobody
Group nogroup
Port $pport
Listen 127.0.0.1
Timeout 60
LogLevel Info
LogFile "$dir/proxy/tinyproxy.log"
MaxClients 50
Allow 127.0.0.1
CONF
    tinyproxy -d -c "$dir/proxy/tinyproxy.conf" >"$dir/proxy/out" 2>&1 &
    echo $! >"$dir/proxy.pid"
    for _ in $(seq 50); do
      python3 -c "import socket; socket.create_connection(('127.0.0.1',$pport),0.2)" 2>/dev/null && break
      sleep 0.1
    done
  fi
  python3 "$top/tools/fake/fakeftpd.py" >"$dir/fakeftpd.port" 2>"$dir/fakeftpd.err" &
  echo $! >"$dir/fakeftpd.pid"
  for _ in $(seq 50); do [ -s "$dir/fakeftpd.port" ] && break; sleep 0.1; done
  root="$(readlink -f "$dir/vsftpd")"
  # A directory of every kind of entry for the listing tests; Wine cannot
  # make symbolic links, so it is made here.
  fix="$root/home/listing"
  rm -rf "$fix"; mkdir -p "$fix/sub" "$fix/empty"
  printf 'plain' >"$fix/plain.txt"
  printf 'blanks here' >"$fix/name with blanks.txt"
  printf 'x' >"$fix/sub/inner.txt"
  ln -s plain.txt "$fix/link"
  chown -R tessel "$fix"
  # 100,000 empty files for the sessions' large-listing test.
  big="$root/home/big"
  if [ ! -e "$big/f99999" ]; then
    mkdir -p "$big"
    python3 -c "import os,sys; [open(os.path.join(sys.argv[1], 'f%d' % i), 'w').close() for i in range(100000)]" "$big"
    chown -R tessel "$big"
  fi
  echo "export TESSEL_VSFTPD_PORT=$vport"
  echo "export TESSEL_VSFTPD_ROOT='$root'"
  echo "export TESSEL_VSFTPD_ROOT_WIN='Z:${root//\//\\}'"
  echo "export TESSEL_VSFTPD_USER=tessel TESSEL_VSFTPD_PASS=tessel"
  echo "export TESSEL_FAKEFTPD_PORT=$(cat "$dir/fakeftpd.port")"
  root2="$(readlink -f "$dir/vsftpd2")"
  echo "export TESSEL_VSFTPD2_PORT=$vport2"
  echo "export TESSEL_VSFTPD2_ROOT='$root2'"
  echo "export TESSEL_VSFTPD2_ROOT_WIN='Z:${root2//\//\\}'"
  root3="$(readlink -f "$dir/vsftpd3")"
  echo "export TESSEL_VSFTPD3_PORT=$vport3"
  echo "export TESSEL_VSFTPD_IDLE_PORT=$vport4"
  echo "export TESSEL_VSFTPD3_ROOT='$root3'"
  echo "export TESSEL_VSFTPD3_ROOT_WIN='Z:${root3//\//\\}'"
  www="$(readlink -f "$dir/www")"
  echo "export TESSEL_HTTP_PORT=$hport"
  echo "export TESSEL_HTTP_ROOT='$www'"
  echo "export TESSEL_HTTP_ROOT_WIN='Z:${www//\//\\}'"
  if [ -n "$pport" ]; then echo "export TESSEL_PROXY_PORT=$pport"; fi
  ;;
stop)
  "$top/tools/vsftpd.sh" stop "$dir/vsftpd" || true
  "$top/tools/vsftpd.sh" stop "$dir/vsftpd2" || true
  "$top/tools/vsftpd.sh" stop "$dir/vsftpd3" || true
  "$top/tools/vsftpd.sh" stop "$dir/vsftpd4" || true
  for f in http proxy; do
    [ -f "$dir/$f.pid" ] && kill "$(cat "$dir/$f.pid")" 2>/dev/null || true
    rm -f "$dir/$f.pid"
  done
  [ -f "$dir/fakeftpd.pid" ] && kill "$(cat "$dir/fakeftpd.pid")" 2>/dev/null || true
  rm -f "$dir/fakeftpd.pid"
  ;;
esac
