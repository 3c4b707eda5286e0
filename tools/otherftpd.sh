#!/usr/bin/env bash
# Starts or stops a pure-ftpd (anonymous only: 230 right after USER) and a
# proftpd (user tessel, as tools/vsftpd.sh makes it) on 127.0.0.1, unpacked
# from their Debian packages into DIR (the packages conflict with vsftpd, so
# they are never installed).  Prints the variables the session tests read:
#   eval "$(tools/otherftpd.sh start /tmp/otherftpd)"   ...   tools/otherftpd.sh stop /tmp/otherftpd
# pure-ftpd serves the "ftp" user's home; the tests list its folder wt13.
# proftpd serves the tessel user's home; the tests work in its folder wt13pro.
set -euo pipefail
cmd="${1:?start|stop}"
dir="$(mkdir -p "${2:?DIR}" && cd "$2" && pwd)"
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
case "$cmd" in
start)
  if [ ! -x "$dir/root/usr/sbin/proftpd" ]; then
    (cd "$dir" && apt-get download pure-ftpd proftpd-core libhiredis0.14 libmemcached11 libmemcachedutil2 \
       libpcre2-posix3 libhashkit2 >/dev/null 2>&1)
    for f in "$dir"/*.deb; do dpkg-deb -x "$f" "$dir/root"; done
  fi
  ftphome="$(getent passwd ftp | cut -d: -f6)"
  mkdir -p "$ftphome/wt13/sub"; printf 'hello' >"$ftphome/wt13/hello.txt"
  home="$(getent passwd tessel | cut -d: -f6)"
  mkdir -p "$home/wt13pro"; chown tessel "$home/wt13pro"
  pp="$(free_port)"
  setsid "$dir/root/usr/sbin/pure-ftpd" -S "127.0.0.1,$pp" -e -p 41700:41799 -P 127.0.0.1 >"$dir/pure.log" 2>&1 &
  echo $! >"$dir/pure.pid"
  pr="$(free_port)"
  cat >"$dir/proftpd.conf" <<CONF
ServerType standalone
ServerName "tessel test proftpd"
DefaultAddress 127.0.0.1
Port $pr
UseIPv6 off
User nobody
Group nogroup
PidFile $dir/proftpd.pid
ScoreboardFile $dir/proftpd.scoreboard
DelayTable none
WtmpLog off
RequireValidShell off
PassivePorts 41800 41899
DefaultRoot ~
AllowOverwrite on
TransferLog none
SystemLog $dir/proftpd.syslog
CONF
  LD_LIBRARY_PATH="$dir/root/usr/lib/x86_64-linux-gnu" setsid "$dir/root/usr/sbin/proftpd" -n -c "$dir/proftpd.conf" \
    >"$dir/proftpd.out" 2>&1 &
  for p in $pp $pr; do
    for _ in $(seq 50); do
      python3 -c "import socket; socket.create_connection(('127.0.0.1',$p),0.2)" 2>/dev/null && break
      sleep 0.1
    done
  done
  echo "export TESSEL_PUREFTPD_PORT=$pp TESSEL_PROFTPD_PORT=$pr"
  ;;
stop)
  [ -f "$dir/pure.pid" ] && kill "$(cat "$dir/pure.pid")" 2>/dev/null || true
  [ -f "$dir/proftpd.pid" ] && kill "$(cat "$dir/proftpd.pid")" 2>/dev/null || true
  rm -f "$dir/pure.pid" "$dir/proftpd.pid"
  ;;
esac
