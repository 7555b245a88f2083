#!/bin/bash
# The project's test command: configures, builds and tests the presets (default: native,
# native-asan, win32 under Wine) and fails on any failure.
# Where the machine cannot run 32-bit x86 programs (a kernel without 32-bit emulation), the
# win32 preset is still built, so that its compile errors fail the run, but not tested; the
# win64 preset is built and tested under 64-bit Wine in its place.
#   scripts/test.sh [PRESET...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if "$top/scripts/wine-run.sh" --runs32; then
  runs32=1
else
  runs32=0
fi
if [ $# -gt 0 ]; then
  presets=$*
elif [ $runs32 = 1 ]; then
  presets="native native-asan win32"
else
  presets="native native-asan win32 win64"
fi

export WINEPREFIX=$top/out/wineprefix WINEPREFIX64=$top/out/wineprefix64
export WINEDEBUG=-all
# One wineserver per prefix for a preset's whole test run; all are shut down on every exit.
servers=()
stop_servers() {
  for prefix in "${servers[@]}"; do
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1 || true
  done
}
trap stop_servers EXIT
start_server() {  # bitness
  local prefix
  prefix=$("$top/scripts/wine-run.sh" --prefix "$1")
  WINEPREFIX=$prefix wineserver -p 120 >/dev/null 2>&1 || true
  servers+=("$prefix")
}

status=0
for p in $presets; do
  echo "=== preset $p ==="
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p" -j"$(nproc)"
  case $p in
    win32 | win64)
      if [ $p = win32 ] && [ $runs32 = 0 ]; then
        instead="the win64 preset's tests stand in for them"
        [[ " $presets " == *" win64 "* ]] || instead="scripts/test.sh win64 runs the Windows tests under 64-bit Wine"
        echo "win32: built, but its tests cannot run here: this kernel does not run 32-bit programs ($instead)"
        continue
      fi
      start_server "${p#win}"
      # Wine runs one test program at a time; a Wine start that hangs is cut off after 150 s
      # (the slowest suite needs about 20 s) and the program is run once more.
      ctest --preset "$p" -j1 --timeout 150 --repeat until-pass:2 </dev/null || status=1
      ;;
    *)
      # The installer's tests run the real Setup.exe under Wine: they get a server of
      # their own for the whole run, and, as on Windows, one more try when a Wine start fails.
      if [ $runs32 = 1 ]; then start_server 32; else start_server 64; fi
      ctest --preset "$p" --timeout 900 --repeat until-pass:2 </dev/null || status=1
      ;;
  esac
done
exit $status
