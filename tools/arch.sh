# Sourced by the test, demo, screenshot and benchmark scripts: which Windows
# builds this host can run under Wine, and what each needs.
#
#   tessel_can_run_i386        true when the kernel executes 32-bit x86 code
#                              (found out by running a tiny i386 program)
#   tessel_select_arches       sets TESSEL_RUN_ARCHES ("i686 x86_64", ...) and
#                              TESSEL_ARCH_NOTE (why one was left out);
#                              TESSEL_ARCHES=i686|x86_64|"i686 x86_64" forces
#   tessel_arch_toolchain A    cmake toolchain file of arch A
#   tessel_arch_build A        default build folder of arch A
#   tessel_arch_check A        missing tools of arch A, each with what to install
#   tessel_default_arch        the build the demo and benchmarks run: i686
#                              where the host runs it, else x86_64

tessel_can_run_i386() {
  local probe rc
  probe="$(mktemp /tmp/tessel-i386probe.XXXXXX)" || return 1
  # An ELF32 program of 12 instructions' worth: exit(42) through int 0x80.
  # Hosts without IA-32 emulation refuse it with "Exec format error".
  python3 - "$probe" <<'PY' || { rm -f "$probe"; return 1; }
import os, struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0xbb, 42, 0, 0, 0, 0xcd, 0x80])
base, eh_size, ph_size = 0x08048000, 52, 32
total = eh_size + ph_size + len(code)
eh = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8)
eh += struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + eh_size + ph_size, eh_size, 0, 0,
                  eh_size, ph_size, 1, 0, 0, 0)
ph = struct.pack("<IIIIIIII", 1, 0, base, base, total, total, 5, 0x1000)
with open(sys.argv[1], "wb") as f:
    f.write(eh + ph + code)
os.chmod(sys.argv[1], 0o755)
PY
  "$probe" >/dev/null 2>&1
  rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

tessel_select_arches() {
  TESSEL_ARCH_NOTE=""
  if [ -n "${TESSEL_ARCHES:-}" ]; then
    local a list=""
    for a in ${TESSEL_ARCHES//,/ }; do
      case "$a" in
        i686|x86_64) list="$list $a" ;;
        *) echo "TESSEL_ARCHES: unknown architecture '$a' (i686 or x86_64)" >&2; return 1 ;;
      esac
    done
    TESSEL_RUN_ARCHES="${list# }"
    case " $TESSEL_RUN_ARCHES " in
      *" i686 "*) ;;
      *) TESSEL_ARCH_NOTE="i686 left out: TESSEL_ARCHES=$TESSEL_ARCHES" ;;
    esac
    case " $TESSEL_RUN_ARCHES " in
      *" x86_64 "*) ;;
      *) TESSEL_ARCH_NOTE="${TESSEL_ARCH_NOTE:+$TESSEL_ARCH_NOTE; }x86_64 left out: TESSEL_ARCHES=$TESSEL_ARCHES" ;;
    esac
    if [[ " $TESSEL_RUN_ARCHES " == *" i686 "* ]] && ! tessel_can_run_i386; then
      echo "TESSEL_ARCHES asks for i686, but this host does not run 32-bit x86 programs (IA-32 emulation off)" >&2
      return 1
    fi
  elif tessel_can_run_i386; then
    TESSEL_RUN_ARCHES="i686 x86_64"
  else
    TESSEL_RUN_ARCHES="x86_64"
    TESSEL_ARCH_NOTE="i686 left out: this host does not run 32-bit x86 programs (a tiny i386 program failed to start; IA-32 emulation is off)"
  fi
  export TESSEL_RUN_ARCHES TESSEL_ARCH_NOTE
}

tessel_default_arch() {
  if [ -n "${TESSEL_ARCHES:-}" ]; then
    local first="${TESSEL_ARCHES//,/ }"; echo "${first%% *}"
  elif tessel_can_run_i386; then
    echo i686
  else
    echo x86_64
  fi
}

tessel_arch_toolchain() {
  case "$1" in i686) echo cmake/mingw32.cmake ;; x86_64) echo cmake/mingw64.cmake ;; esac
}

tessel_arch_build() {
  case "$1" in i686) echo build-win ;; x86_64) echo build-win64 ;; esac
}

# Prints one line per missing tool ("what: install what") and fails when
# anything is missing.
tessel_arch_check() {
  local missing=0 prefix loader pkg deb
  case "$1" in
    i686) prefix=i686-w64-mingw32; deb=i686; loader=/usr/lib/wine/wine; pkg="wine32:i386 (after dpkg --add-architecture i386)" ;;
    x86_64) prefix=x86_64-w64-mingw32; deb=x86-64; loader=/usr/lib/wine/wine64; pkg=wine64 ;;
    *) echo "unknown architecture '$1'"; return 1 ;;
  esac
  if ! command -v "$prefix-g++-posix" >/dev/null; then
    echo "$prefix-g++-posix missing: install g++-mingw-w64-$deb-posix"
    missing=1
  fi
  if ! command -v "$prefix-dlltool" >/dev/null; then
    echo "$prefix-dlltool missing: install binutils-mingw-w64-$deb"
    missing=1
  fi
  if [ ! -x "$loader" ]; then
    echo "Wine loader $loader missing: install $pkg"
    missing=1
  fi
  [ "$missing" = 0 ]
}

# The architecture a configured build folder was made for (from its cache).
tessel_arch_of_build() {
  local p
  p="$(sed -n 's/^CMAKE_LINKER:FILEPATH=.*\/\([a-z0-9_]*\)-w64-mingw32-ld$/\1/p' "$1/CMakeCache.txt" 2>/dev/null | head -1)"
  case "$p" in
    i686|x86_64) echo "$p" ;;
    *) tessel_default_arch ;;
  esac
}
