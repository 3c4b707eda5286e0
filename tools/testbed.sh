#!/usr/bin/env bash
# Starts or stops the servers of the test bed in DIR and prints the variables
# the tests read, ready for eval:
#   eval "$(tools/testbed.sh start /tmp/mybed)"   ...   tools/testbed.sh stop /tmp/mybed
# vsftpd: TESSEL_VSFTPD_PORT/_ROOT/_ROOT_WIN/_USER/_PASS (root: DIR/vsftpd,
# user files in DIR/vsftpd/home, anonymous files in DIR/vsftpd/pub);
# fake server: TESSEL_FAKEFTPD_PORT.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cmd="${1:?start|stop}"
dir="$(mkdir -p "${2:?DIR}" && cd "$2" && pwd)"
case "$cmd" in
start)
  read -r vport _ < <("$top/tools/vsftpd.sh" start "$dir/vsftpd")
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
  echo "export TESSEL_VSFTPD_PORT=$vport"
  echo "export TESSEL_VSFTPD_ROOT='$root'"
  echo "export TESSEL_VSFTPD_ROOT_WIN='Z:${root//\//\\}'"
  echo "export TESSEL_VSFTPD_USER=tessel TESSEL_VSFTPD_PASS=tessel"
  echo "export TESSEL_FAKEFTPD_PORT=$(cat "$dir/fakeftpd.port")"
  ;;
stop)
  "$top/tools/vsftpd.sh" stop "$dir/vsftpd" || true
  [ -f "$dir/fakeftpd.pid" ] && kill "$(cat "$dir/fakeftpd.pid")" 2>/dev/null || true
  rm -f "$dir/fakeftpd.pid"
  ;;
esac
