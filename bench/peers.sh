#!/bin/bash
# Compares our packing (Pack.dll, through the bench driver pack_tree) with makensis solid
# LZMA and 7-Zip on the benchmark corpora, in one run on one machine: payload size, wall
# time, CPU time and peak memory (GNU time), and the ratios of our goals.
# Usage: bench/peers.sh [CORPORA_DIR]   env: CORPORA="small-files binaries mixed"
#        LEVELS="7 9 0" (ours), PEERS=1 (0 skips the peers), WORK=dir for the outputs.
# Peers: Debian packages nsis and 7zip. Payload = output minus the tool's own stub
# (makensis: minus an installer without files; 7-Zip: the archive itself).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpora=${1:-$top/out/bench-corpora}
CORPORA=${CORPORA:-small-files binaries mixed}
LEVELS=${LEVELS:-7 9 0}
PEERS=${PEERS:-1}
work=${WORK:-$top/out/bench-peers}
mkdir -p "$work"

for c in $CORPORA; do
  [ -d "$corpora/$c" ] || bash "$top/../shared/bench/corpora.sh" "$corpora" "$c"
done

cmake --preset native -B "$top/out/bench-native" -DKEST_TESTS=OFF >/dev/null
cmake --build "$top/out/bench-native" --target Pack >/dev/null
pack_dll=$top/out/bench-native/bin/Pack.dll
driver=$work/pack_tree
g++ -O2 -std=c++20 -I"$top/packlib" "$top/bench/pack_tree.cpp" -o "$driver" -ldl

results=$work/results.txt
: > "$results"

# measure LABEL CORPUS OUTPUT STUB_BYTES COMMAND...: runs the command under GNU time.
measure() {
  local label=$1 corpus=$2 output=$3 stub=$4; shift 4
  rm -f "$output"* 2>/dev/null || true
  sync
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >"$work/log.txt" 2>&1 ||
    { echo "$label failed on $corpus:"; cat "$work/log.txt"; return 1; }
  local size=0 f
  for f in "$output"*; do size=$((size + $(stat -c %s "$f"))); done
  read -r wall user sys rss < "$work/time.txt"
  printf "%s %s %d %s %s %s\n" "$corpus" "$label" $((size - stub)) "$wall" \
    "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" "$((rss / 1024))" >> "$results"
  tail -1 "$results"
}

nsis_script() {  # nsis_script DIR OUT [files?]
  {
    echo "Unicode true"
    echo "SetCompressor /SOLID lzma"
    echo "OutFile \"$2\""
    echo "Section"
    echo "SetOutPath \$INSTDIR"
    [ -n "$1" ] && echo "File /r \"$1/*.*\""
    echo "SectionEnd"
  } > "$work/peer.nsi"
}

ours() {  # ours CORPUS LEVEL
  measure "ours-L$2" "$1" "$work/ours.$1" 0 "$driver" "$pack_dll" "$corpora/$1" "$work/ours.$1" "$2"
}
makensis_solid() {
  nsis_script "" "$work/empty.exe"; makensis -V1 "$work/peer.nsi" >/dev/null
  local stub; stub=$(stat -c %s "$work/empty.exe")
  nsis_script "$corpora/$1" "$work/nsis.$1.exe"
  measure "makensis-solid-lzma" "$1" "$work/nsis.$1.exe" "$stub" makensis -V1 "$work/peer.nsi"
}
sevenzip() {  # sevenzip CORPUS MX
  measure "7z-mx$2" "$1" "$work/7z.$1.7z" 0 7zz a -bd -mx="$2" "$work/7z.$1.7z" "$corpora/$1"
}
zstd19() {  # the codec alternative, for the record
  measure "tar-zstd-19-T2" "$1" "$work/zstd.$1.tar.zst" 0 \
    sh -c 'tar -C "$1" -cf - . | zstd -q -19 -T2 -o "$2"' sh "$corpora/$1" "$work/zstd.$1.tar.zst"
}

# Default level and store mode against their peers first, on every corpus, so that a run
# cut short still holds the main comparison; then the top level and the codec record.
for c in $CORPORA; do
  for level in $LEVELS; do
    [ "$level" = 9 ] || ours "$c" "$level"
  done
  if [ "$PEERS" = 1 ]; then makensis_solid "$c"; sevenzip "$c" 0; fi
done
for c in $CORPORA; do
  for level in $LEVELS; do
    [ "$level" != 9 ] || ours "$c" "$level"
  done
  if [ "$PEERS" = 1 ]; then sevenzip "$c" 7; zstd19 "$c"; fi
done

echo
echo "| corpus | tool | payload MB | wall s | CPU s | peak RSS MB |"
echo "|---|---|---|---|---|---|"
awk '{printf "| %s | %s | %.2f | %.1f | %.1f | %d |\n", $1, $2, $3/1e6, $4, $5, $6}' "$results"
echo
echo "Goal ratios (ours / peer; goals: L7 payload and wall <= 1 vs makensis, L9 payload <= 1 vs 7z -mx=7, L0 wall <= 2 vs 7z -mx=0):"
awk '{k=$1" "$2; size[k]=$3; wall[k]=$4; cpu[k]=$5; rss[k]=$6; corp[$1]=1}
  END {
    for (c in corp) {
      m=c" makensis-solid-lzma"; s7=c" 7z-mx7"; s0=c" 7z-mx0";
      o7=c" ours-L7"; o9=c" ours-L9"; o0=c" ours-L0";
      if ((o7 in size) && (m in size))
        printf "%s: L7/makensis payload %.3f, wall %.2f, CPU %.2f, L7 peak RSS %d MB\n", c, size[o7]/size[m], wall[o7]/wall[m], cpu[o7]/cpu[m], rss[o7];
      if ((o9 in size) && (s7 in size)) printf "%s: L9/7z-mx7 payload %.3f\n", c, size[o9]/size[s7];
      if ((o0 in size) && (s0 in size)) printf "%s: L0/7z-mx0 wall %.2f\n", c, wall[o0]/(wall[s0] > 0.01 ? wall[s0] : 0.01);
    }
  }' "$results"
