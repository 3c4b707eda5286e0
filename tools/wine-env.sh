# Sourced by the test, demo and screenshot scripts: a throw-away 32-bit Wine
# prefix, prepared once and kept warm by a persistent wineserver.
#   TESSEL_WINEPREFIX  where to put it (default: /tmp/tessel-wine-$UID)
# After sourcing: WINEPREFIX, WINEARCH, WINEDEBUG, WINEDLLOVERRIDES exported;
# `wine_reg_add KEY NAME TYPE DATA` available.

export WINEPREFIX="${TESSEL_WINEPREFIX:-/tmp/tessel-wine-$(id -u)}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko prompts, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
WINE="${WINE:-$(command -v wine || echo /usr/lib/wine/wine)}"
export WINE

wine_reg_add() {
  "$WINE" reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null 2>&1
}

wine_prefix_ready() {
  [ -f "$WINEPREFIX/.tessel-ready" ]
}

wine_prepare_prefix() {
  if ! wine_prefix_ready; then
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w
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
