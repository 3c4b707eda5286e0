#!/usr/bin/env bash
# Starts or stops a real vsftpd on 127.0.0.1 with a free port and a throw-away
# root: anonymous (read-only, root DIR/pub) plus the password user
# tessel/tessel (read-write, root DIR/home).
#   tools/vsftpd.sh start DIR   -> prints "PORT PID"; files go under DIR
#   tools/vsftpd.sh stop DIR
# Options in the environment: TESSEL_VSFTPD_FXP, TESSEL_VSFTPD_ASCII,
# TESSEL_VSFTPD_RATE (see below), TESSEL_VSFTPD_IDLE (seconds an idle session
# is kept; 600 by default).
set -euo pipefail
cmd="${1:?start|stop}"
dir="$(mkdir -p "${2:?DIR}" && cd "$2" && pwd)"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

case "$cmd" in
start)
  id tessel >/dev/null 2>&1 || useradd -M -d /nonexistent -s /bin/sh tessel
  echo 'tessel:tessel' | chpasswd
  # vsftpd enters the home folder before local_root; make it a real one.
  # One fixed folder for every instance: usermod fails while another test
  # bed's session runs as tessel, and says "no changes" on standard output
  # when there is nothing to do.
  mkdir -p /var/lib/tessel-home
  if [ "$(getent passwd tessel | cut -d: -f6)" != /var/lib/tessel-home ]; then
    usermod -d /var/lib/tessel-home tessel >/dev/null 2>&1 || true
  fi
  grep -qx /bin/sh /etc/shells || echo /bin/sh >>/etc/shells
  mkdir -p /var/run/vsftpd/empty "$dir/pub" "$dir/home"
  chown root:root "$dir/pub"; chmod 755 "$dir/pub"
  chown tessel "$dir/home"; chmod 755 "$dir/home"
  port="$(free_port)"
  pasv_lo=$(( (port % 20000) + 30000 ))
  cat >"$dir/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$dir/pub
no_anon_password=YES
local_enable=YES
write_enable=YES
local_umask=022
local_root=$dir/home
chroot_local_user=YES
allow_writeable_chroot=YES
pam_service_name=vsftpd
userlist_enable=NO
check_shell=NO
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
pasv_enable=YES
pasv_address=127.0.0.1
pasv_min_port=$pasv_lo
pasv_max_port=$(( pasv_lo + 200 ))
port_enable=YES
connect_from_port_20=NO
xferlog_enable=NO
vsftpd_log_file=$dir/vsftpd.log
max_per_ip=0
max_clients=0
idle_session_timeout=${TESSEL_VSFTPD_IDLE:-600}
data_connection_timeout=600
CONF
  # TESSEL_VSFTPD_FXP=1: data connections may go to and come from another
  # address than the client's, as copies between two servers need.
  if [ "${TESSEL_VSFTPD_FXP:-0}" = 1 ]; then
    printf 'pasv_promiscuous=YES\nport_promiscuous=YES\n' >>"$dir/vsftpd.conf"
  fi
  # TESSEL_VSFTPD_ASCII=1: TYPE A converts line ends (LF on disk, CR LF on
  # the wire), as RFC 959 servers do.
  if [ "${TESSEL_VSFTPD_ASCII:-0}" = 1 ]; then
    printf 'ascii_upload_enable=YES\nascii_download_enable=YES\n' >>"$dir/vsftpd.conf"
  fi
  # TESSEL_VSFTPD_RATE=N: at most N bytes per second for each transfer.
  if [ -n "${TESSEL_VSFTPD_RATE:-}" ]; then
    printf 'local_max_rate=%s\nanon_max_rate=%s\n' "$TESSEL_VSFTPD_RATE" "$TESSEL_VSFTPD_RATE" >>"$dir/vsftpd.conf"
  fi
  /usr/sbin/vsftpd "$dir/vsftpd.conf" >"$dir/vsftpd.out" 2>&1 &
  pid=$!
  echo "$pid" >"$dir/vsftpd.pid"
  for _ in $(seq 50); do
    if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1',$port),0.2)" 2>/dev/null; then
      echo "$port $pid"; exit 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "vsftpd did not start:" >&2; cat "$dir/vsftpd.out" >&2; exit 1
  ;;
stop)
  if [ -f "$dir/vsftpd.pid" ]; then
    pid="$(cat "$dir/vsftpd.pid")"
    pkill -P "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    rm -f "$dir/vsftpd.pid"
  fi
  ;;
esac
