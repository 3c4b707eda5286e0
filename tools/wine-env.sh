# Sourced by the test, demo and screenshot scripts: a throw-away Wine prefix
# of the architecture of the build to run, prepared once and kept warm by a
# persistent wineserver.
#   TESSEL_ARCH        i686 (32-bit prefix, 32-bit loader) or x86_64 (64-bit
#                      prefix, wine64); default: i686 where the host runs
#                      32-bit programs, else x86_64
#   TESSEL_WINEPREFIX  where to put it (default: /tmp/tessel-wine-$UID for
#                      i686, /tmp/tessel-wine64-$UID for x86_64)
# After sourcing: WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES, WINE
# exported; `wine_prepare_prefix` fails with a message naming what is
# missing; `wine_reg_add KEY NAME TYPE DATA` available.

_tessel_tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$_tessel_tools/arch.sh"
export TESSEL_ARCH="${TESSEL_ARCH:-$(tessel_default_arch)}"
case "$TESSEL_ARCH" in
  i686)
    export WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-$(id -u)}"
    export WINEARCH=win32
    # The 32-bit loader itself: Debian's "wine" script falls back to wine64
    # when it cannot find it, which would then fail in a 32-bit prefix.
    WINE=/usr/lib/wine/wine
    ;;
  x86_64)
    export WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine64-$(id -u)}"
    export WINEARCH=win64
    # Named directly: Debian's "wine" script prefers the 32-bit loader, which
    # cannot even start on hosts without IA-32 emulation.
    WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
    ;;
  *)
    echo "TESSEL_ARCH: unknown architecture '$TESSEL_ARCH' (i686 or x86_64)" >&2
    ;;
esac
export WINE
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wine_reg_add() {
  "$WINE" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

wine_prefix_ready() {
  [ -f "$WINEPREFIX/.tessel-ready" ]
}

# win32 or win64, read from the prefix's own registry file; empty when there
# is no prefix yet.
wine_prefix_arch() {
  [ -f "$WINEPREFIX/system.reg" ] || return 0
  sed -n 's/^#arch=//p' "$WINEPREFIX/system.reg" | head -1
}

wine_prepare_prefix() {
  local why
  if ! why="$(tessel_arch_check "$TESSEL_ARCH")"; then
    echo "cannot run the $TESSEL_ARCH build under Wine:" >&2
    echo "$why" | sed 's/^/  /' >&2
    return 1
  fi
  if [ "$TESSEL_ARCH" = i686 ] && ! tessel_can_run_i386; then
    echo "cannot run the i686 build: this host does not run 32-bit x86 programs (IA-32 emulation off); use TESSEL_ARCH=x86_64" >&2
    return 1
  fi
  local have; have="$(wine_prefix_arch)"
  if [ -n "$have" ] && [ "$have" != "$WINEARCH" ]; then
    echo "Wine prefix $WINEPREFIX is a $have prefix; the $TESSEL_ARCH build needs a $WINEARCH one." >&2
    echo "  remove it (rm -rf $WINEPREFIX) or point TESSEL_WINEPREFIX at another folder" >&2
    return 1
  fi
  if ! wine_prefix_ready; then
    # A prefix that never finished its first start is made again; one that
    # did is only configured.
    [ -n "$have" ] || rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    if [ "$(wine_prefix_arch)" != "$WINEARCH" ]; then
      echo "wineboot did not make a $WINEARCH prefix in $WINEPREFIX (loader $WINE)" >&2
      return 1
    fi
    # A crashing test must fail at once, not wait for someone to close a dialog.
    wine_reg_add 'HKCU\Software\Wine\WineDbg' ShowCrashDialog REG_DWORD 0
    # Windows work without any X server under the null driver; screenshots
    # switch to x11 explicitly.
    wine_reg_add 'HKCU\Software\Wine\Drivers' Graphics REG_SZ null
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp -n /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    wineserver -w
    touch "$WINEPREFIX/.tessel-ready"
  fi
  # Keep one wineserver alive so that each test process starts in ~0.1 s.
  wineserver -p >/dev/null 2>&1 || true
  "$WINE" wineboot >/dev/null 2>&1 || true
  # A screenshot run may have left the x11 driver switched on; tests want null.
  wine_set_graphics null
}

# Wine's system processes (services, the desktop's explorer, ...) end when
# the last program of the prefix ends, and the next program starts them
# again: they then inherit that program's standard output, and whoever reads
# that pipe (ctest) waits until they end, long after the program itself has
# ended.  A keeper program started here, with its output going nowhere,
# holds them up for a whole test run.
wine_keep_alive() {
  "$WINE" notepad.exe >/dev/null 2>&1 </dev/null &
  WINE_KEEPER_PID=$!
  # Its window starts the desktop process; let that happen before tests run.
  sleep 3
}

wine_keep_stop() {
  [ -n "${WINE_KEEPER_PID:-}" ] && kill "$WINE_KEEPER_PID" 2>/dev/null
  WINE_KEEPER_PID=""
}

wine_set_graphics() { # null | x11
  wine_reg_add 'HKCU\Software\Wine\Drivers' Graphics REG_SZ "$1"
}

wine_stop() {
  wineserver -k >/dev/null 2>&1 || true
}

# Linux path -> Windows path through Wine's Z: drive.
win_path() {
  local p
  p="$(readlink -f "$1")"
  printf 'Z:%s' "${p//\//\\}"
}
