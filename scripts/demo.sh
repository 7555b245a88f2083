#!/bin/bash
# Builds the demo project into Setup.exe on a fresh machine: installs what is needed,
# builds the native programs, builds the demo (in a copy under out/demo, so the source
# tree stays clean), then shows what the executable holds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup.sh
build=${KEST_BUILD_DIR:-$top/out/native}  # the native preset's folder unless told otherwise
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" --target kestbuild Pack kestx kest_sfx kest_unkest kest_presetup
bin=$build/bin

rm -rf out/demo
cp -r examples/demo out/demo
cd out/demo
# Relative paths in a project resolve against the current directory: build from here.
"$bin/kestbuild" Demo </dev/null
"$bin/kestx" list Setup.exe
"$bin/kestx" verify Setup.exe
echo "Built $top/out/demo/Setup.exe"
