#!/bin/bash
# Runs one Windows program under Wine for ctest: a prefix of our own under out/, no debug
# chatter, and a time limit so that a hung Wine can never hang a test run.
set -u
top=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$top/out/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export DISPLAY=
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  timeout 300 wineboot -i >/dev/null 2>&1 || true
fi
exec timeout -k 10 "${KEST_WINE_TIMEOUT:-900}" wine "$@"
