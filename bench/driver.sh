#!/bin/bash
# The driver's overhead over the packing library's own work, measured in one run: a
# project of 20,000 small files (about 200 MB) built at the fastest compression level
# (1) with a timing shim in front of the real Pack.dll. The shim counts the time inside
# the library's exports less the time of the driver's callbacks within them; everything
# else of the process's time is the driver's. Both wall time and CPU time are given: on a
# busy machine the CPU figures are the steadier. Goal: overhead under 10 %.
# Usage: bench/driver.sh [native build dir, default out/native] [level, default 1]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/out/native}" && pwd)
level=${2:-1}
work=$top/out/bench-driver
files=20000
size=10240

mkdir -p "$work"
# The image is made once and kept: text-like content that compresses as real files do.
if [ ! -f "$work/Image/.complete" ]; then
  rm -rf "$work/Image"
  python3 - "$work/Image/Data" "$files" "$size" <<'PY'
import os, random, sys
root, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(20000)
words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
         for _ in range(4000)]
for i in range(count):
    d = os.path.join(root, "dir%03d" % (i // 200))
    os.makedirs(d, exist_ok=True)
    text = []
    n = 0
    while n < size:
        w = rng.choice(words) + (" " if rng.random() < 0.9 else "\n")
        text.append(w)
        n += len(w)
    with open(os.path.join(d, "file%05d.txt" % i), "w") as f:
        f.write("".join(text)[:size])
PY
  mkdir -p "$work/Image/Presetup"
  touch "$work/Image/.complete"
fi

bin=$work/bin
rm -rf "$bin" "$work/tmp"
mkdir -p "$bin" "$work/tmp"
cp -r "$build/bin/kestbuild" "$build/bin/Kest.sfx" "$build/bin/Presetup" "$bin/"
cp "$build/bin/Pack.dll" "$bin/RealPack.dll"
c++ -std=c++20 -O2 -shared -fPIC -I"$top/packlib" -o "$bin/Pack.dll" \
  "$top/bench/driver_timing_pack.cpp" -ldl

printf '[Config]\nImagePath=Image\nExeName=Setup.exe\nCompressionLevel=%s\n' "$level" \
  >"$work/Bench.kst"
rm -f "$work/Setup.exe" "$work/Setup."[0-9]*
sync

cd "$work"
start=$(date +%s%N)
env TMPDIR="$work/tmp/" KEST_REAL_PACK="$bin/RealPack.dll" KEST_PACK_TIMING="$work/timing.txt" \
  /usr/bin/time -f "%M %U %S" -o "$work/rss.txt" "$bin/kestbuild" Bench </dev/null >"$work/console.txt"
end=$(date +%s%N)
tail -1 "$work/console.txt"

read -r library callbacks libcpu cbcpu added <"$work/timing.txt"
read -r rss user sys <"$work/rss.txt"
total=$((end - start))
awk -v t="$total" -v l="$library" -v c="$callbacks" -v lc="$libcpu" -v cc="$cbcpu" \
  -v u="$user" -v s="$sys" -v n="$added" -v rss="$rss" -v exe="$(stat -c %s Setup.exe)" \
  -v lv="$level" 'BEGIN {
  tc = (u + s) * 1e9
  printf "files added:        %d (level %d), Setup.exe %.1f MB, peak memory %.1f MB\n", n, lv, exe / 1048576, rss / 1024
  printf "                    %12s %12s\n", "wall", "CPU"
  printf "whole process:      %11.3fs %11.3fs\n", t / 1e9, tc / 1e9
  printf "inside Pack.dll:    %11.3fs %11.3fs\n", l / 1e9, lc / 1e9
  printf "driver, all else:   %11.3fs %11.3fs\n", (t - l) / 1e9, (tc - lc) / 1e9
  printf "  progress handler: %11.3fs %11.3fs\n", c / 1e9, cc / 1e9
  printf "driver overhead:    %11.1f%% %11.1f%%  (of the library time)\n", 100 * (t - l) / l, 100 * (tc - lc) / lc
}'
