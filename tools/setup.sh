#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on Debian 12.
# Idempotent and quick when all is already there.  Run as root.
set -euo pipefail

PACKAGES=(
  cmake ninja-build python3 git ca-certificates
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  googletest
  wine wine64 wine32:i386 fonts-wine
  vsftpd tinyproxy xvfb xauth x11-utils imagemagick mscompress
  curl lftp
  clang libclang-rt-14-dev
)

have_all() {
  dpkg --print-foreign-architectures | grep -qx i386 || return 1
  local p
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || return 1
  done
}

if ! have_all; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${PACKAGES[@]}"
fi

# The vsftpd package starts a system server on port 21 of every address; the
# tests start their own instances on 127.0.0.1 and free high ports.
if [ -x /etc/init.d/vsftpd ]; then
  /etc/init.d/vsftpd stop >/dev/null 2>&1 || true
fi
pkill -x vsftpd -U 0 -f '^/usr/sbin/vsftpd$' >/dev/null 2>&1 || true
if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
  systemctl disable --now vsftpd >/dev/null 2>&1 || true
fi
update-rc.d vsftpd disable >/dev/null 2>&1 || true
# Likewise the tinyproxy package starts a system proxy; the test bed runs
# its own with a throw-away configuration.
# Only when the system instance runs: the init script's stop may match every
# tinyproxy by program name, test beds of parallel runs included.
if [ -x /etc/init.d/tinyproxy ] && [ -s /run/tinyproxy/tinyproxy.pid ]; then
  /etc/init.d/tinyproxy stop >/dev/null 2>&1 || true
fi
if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
  systemctl disable --now tinyproxy >/dev/null 2>&1 || true
fi
update-rc.d tinyproxy disable >/dev/null 2>&1 || true
# vsftpd insists on this folder for its privilege separation.
mkdir -p /var/run/vsftpd/empty
exit 0
