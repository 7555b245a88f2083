#!/bin/bash
# Runs one Windows program under Wine for ctest: a prefix of our own under out/, no debug
# chatter, and a time limit so that a hung Wine can never hang a test run.
# The Wine follows the program: a 64-bit program runs under 64-bit Wine in a prefix of its
# own (out/wineprefix64, or $WINEPREFIX64), anything else under the ordinary Wine in
# out/wineprefix (or $WINEPREFIX).
#   wine-run.sh PROGRAM [ARGS...]   runs it
#   wine-run.sh --prefix 32|64      only creates that prefix if needed and prints its path
#   wine-run.sh --stop 32|64        ends that prefix's wineserver and every program in it
#   wine-run.sh --runs32            exits 0 where this machine runs 32-bit programs (a
#                                   kernel without 32-bit emulation does not)
# With KEST_WINE_GUI=1 the program may show windows: $DISPLAY is kept (for example the one
# that xvfb-run sets), and the prefixes are others (out/wineprefix64-gui and
# out/wineprefix-gui, or $KEST_WINE_GUI_PREFIX), because a wineserver that was started
# without a display cannot open windows later.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
wine64=${KEST_WINE64:-/usr/lib/wine/wine64}
wine32=${KEST_WINE32:-/usr/lib/wine/wine}

# Wine's own 32-bit loader answers only where 32-bit programs run.
runs32() {
  timeout 30 "$wine32" --version >/dev/null 2>&1
}

# 64 for a PE32+ image (the optional header's magic 0x20b), else 32.
bits_of() {
  local at magic
  at=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$at" ] || { echo 32; return; }
  magic=$(od -An -tx2 -j$((at + 24)) -N2 "$1" 2>/dev/null | tr -d ' ')
  [ "$magic" = 020b ] && echo 64 || echo 32
}

# Sets the environment for the given bitness.
wine_env() {
  if [ "${KEST_WINE_GUI:-}" = 1 ]; then
    local suffix=-gui
    [ "$1" = 64 ] && suffix=64-gui
    export WINEPREFIX=${KEST_WINE_GUI_PREFIX:-$top/out/wineprefix$suffix}
  elif [ "$1" = 64 ]; then
    export WINEPREFIX=${WINEPREFIX64:-$top/out/wineprefix64}
  else
    export WINEPREFIX=${WINEPREFIX:-$top/out/wineprefix}
  fi
  if [ "$1" = 64 ]; then
    export WINELOADER=$wine64
    wine=("$wine64")
  else
    wine=(wine)
  fi
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  [ "${KEST_WINE_GUI:-}" = 1 ] || export DISPLAY=
}

# The same, and creates the prefix on first use.
use_wine() {
  wine_env "$1"
  if [ "${KEST_WINE_GUI:-}" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    echo "wine-run.sh: KEST_WINE_GUI=1 needs a display (run it under xvfb-run)" >&2
    exit 125
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout 300 "${wine[@]}" wineboot -i >/dev/null 2>&1 || true
    # A program that crashes ends at once instead of waiting behind Wine's crash dialog.
    [ "${KEST_WINE_GUI:-}" = 1 ] && timeout 60 "${wine[@]}" reg add 'HKCU\Software\Wine\WineDbg' \
      /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # The registry files are written when the server ends.
    timeout 60 wineserver -w >/dev/null 2>&1 || true
  fi
}

case ${1:-} in
  --prefix)
    use_wine "${2:-32}"
    echo "$WINEPREFIX"
    exit 0
    ;;
  --stop)
    wine_env "${2:-64}"
    [ -d "$WINEPREFIX" ] && timeout 60 wineserver -k >/dev/null 2>&1
    exit 0
    ;;
  --runs32)
    runs32
    exit
    ;;
esac
[ $# -gt 0 ] || { echo "usage: wine-run.sh PROGRAM [ARGS...] | --prefix 32|64 | --stop 32|64 | --runs32" >&2; exit 2; }
bits=$(bits_of "$1")
if [ "$bits" = 32 ] && ! runs32; then
  echo "wine-run.sh: $1 needs 32-bit Wine, and this machine cannot run 32-bit programs" >&2
  exit 126
fi
use_wine "$bits"
exec timeout -k 10 "${KEST_WINE_TIMEOUT:-900}" "${wine[@]}" "$@"
