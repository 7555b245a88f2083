#!/bin/bash
# Compares our packing (Pack.dll, through the bench driver pack_tree) with makensis and 7-Zip
# on the benchmark corpora of bench/corpora.sh, in one run on one machine: payload size, wall
# time, CPU time and peak memory (GNU time), the ratios of our goals, and a plot of payload
# against wall time (one point per tool and level) in docs/performance.svg.
# Usage: bench/peers.sh [CORPORA_DIR]
#   env: CORPORA="small-files binaries mixed many-small"  LEVELS="7 9 1" (ours)
#        PEERS=1 (0 skips the peers)  WORK=dir for the outputs  PLOT=file (empty: no plot)
#        REPEAT=3 runs of each tool: the table gives the median wall and CPU time (the
#        machines are shared; one run can be a third off) and the largest peak RSS
#        BASES="old=path/Pack.dll ..." other builds of the library, measured beside ours as
#        "<name>-L<level>" at BASE_LEVELS (default 7), so that a change is compared with its
#        predecessor in the same run on the same machine load
# Payload = output minus the tool's own stub (makensis: minus an installer without files;
# 7-Zip: the archive itself). Missing tools (nsis, 7zip, gnuplot, time) are installed on
# first use.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpora=${1:-$top/out/bench-corpora}
CORPORA=${CORPORA:-small-files binaries mixed many-small}
LEVELS=${LEVELS:-7 9 1}
PEERS=${PEERS:-1}
PLOT=${PLOT-$top/docs/performance.svg}
BASES=${BASES:-}
BASE_LEVELS=${BASE_LEVELS:-7}
REPEAT=${REPEAT:-3}
work=${WORK:-$top/out/bench-peers}
mkdir -p "$work"

# need COMMAND PACKAGE: installs the Debian package when the command is missing.
need() {
  command -v "$1" >/dev/null && return
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "installing $2 for $1" >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$2" >/dev/null
}
need /usr/bin/time time
if [ "$PEERS" = 1 ]; then need makensis nsis; need 7zz 7zip; fi
[ -z "$PLOT" ] || need gnuplot gnuplot-nox

for c in $CORPORA; do
  [ -d "$corpora/$c" ] || bash "$top/bench/corpora.sh" "$corpora" "$c"
done

cmake --preset native -B "$top/out/bench-native" -DKEST_TESTS=OFF >/dev/null
cmake --build "$top/out/bench-native" --target Pack >/dev/null
pack_dll=$top/out/bench-native/bin/Pack.dll
driver=$work/pack_tree
g++ -O2 -std=c++20 -I"$top/packlib" "$top/bench/pack_tree.cpp" -o "$driver" -ldl

results=$work/results.txt
: > "$results"

# median: the middle one of the numbers on standard input (the lower of the two middle ones).
median() {
  sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# measure LABEL CORPUS OUTPUT STUB_BYTES COMMAND...: runs the command REPEAT times under GNU
# time; wall and CPU seconds are the medians, the peak RSS the largest.
measure() {
  local label=$1 corpus=$2 output=$3 stub=$4
  shift 4
  local runs=$work/runs.txt r wall user sys rss
  : > "$runs"
  for ((r = 0; r < REPEAT; r++)); do
    rm -f "$output"* 2>/dev/null || true
    # Every tool reads the corpus from the page cache: the first one to run after it was
    # evicted would otherwise pay for the disk (seen: 7.9 s against 3.2 s on many-small).
    find "$corpora/$corpus" -type f -print0 | xargs -0 cat >/dev/null
    sync
    /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" "$@" >"$work/log.txt" 2>&1 ||
      { echo "$label failed on $corpus:"; cat "$work/log.txt"; return 1; }
    read -r wall user sys rss < "$work/time.txt"
    echo "$wall $(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $rss" >> "$runs"
  done
  local size=0 f
  for f in "$output"*; do size=$((size + $(stat -c %s "$f"))); done
  printf "%s %s %d %s %s %s\n" "$corpus" "$label" $((size - stub)) \
    "$(cut -d' ' -f1 "$runs" | median)" "$(cut -d' ' -f2 "$runs" | median)" \
    "$(($(cut -d' ' -f3 "$runs" | sort -g | tail -1) / 1024))" >> "$results"
  tail -1 "$results"
  rm -f "$output"* 2>/dev/null || true
}

nsis_script() {  # nsis_script COMPRESSOR DIR OUT: an installer of DIR's files (none if empty)
  {
    echo "Unicode true"
    echo "SetCompressor $1"
    echo "OutFile \"$3\""
    echo "Section"
    echo "SetOutPath \$INSTDIR"
    [ -n "$2" ] && echo "File /r \"$2/*.*\""
    echo "SectionEnd"
  } > "$work/peer.nsi"
}

ours() {  # ours CORPUS LEVEL
  measure "ours-L$2" "$1" "$work/ours.$1" 0 "$driver" "$pack_dll" "$corpora/$1" "$work/ours.$1" "$2"
  local base
  for base in $BASES; do
    [[ " $BASE_LEVELS " == *" $2 "* ]] || continue
    measure "${base%%=*}-L$2" "$1" "$work/base.$1" 0 "$driver" "${base#*=}" "$corpora/$1" "$work/base.$1" "$2"
  done
}
makensis_peer() {  # makensis_peer CORPUS LABEL COMPRESSOR
  nsis_script "$3" "" "$work/empty.exe"
  makensis -V1 "$work/peer.nsi" >/dev/null
  local stub
  stub=$(stat -c %s "$work/empty.exe")
  nsis_script "$3" "$corpora/$1" "$work/nsis.$1.exe"
  measure "$2" "$1" "$work/nsis.$1.exe" "$stub" makensis -V1 "$work/peer.nsi"
}
sevenzip() {  # sevenzip CORPUS MX
  measure "7z-mx$2" "$1" "$work/7z.$1.7z" 0 7zz a -bd -mx="$2" "$work/7z.$1.7z" "$corpora/$1"
}

for c in $CORPORA; do
  for level in $LEVELS; do ours "$c" "$level"; done
  if [ "$PEERS" = 1 ]; then
    makensis_peer "$c" makensis-solid-lzma "/SOLID lzma"
    makensis_peer "$c" makensis-zlib zlib
    sevenzip "$c" 7
  fi
done

echo
for c in $CORPORA; do
  echo "$c ($(find "$corpora/$c" -type f | wc -l) files, $(find "$corpora/$c" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.1f", s / 1e6 }') MB):"
  echo
  echo "| tool | payload MB | wall s | CPU s | peak RSS MB |"
  echo "|---|---|---|---|---|"
  awk -v c="$c" '$1 == c { printf "| %s | %.3f | %.1f | %.1f | %d |\n", $2, $3 / 1e6, $4, $5, $6 }' "$results"
  echo
done

echo "Goals (ours / peer, measured above):"
awk '{ k = $1 " " $2; size[k] = $3; wall[k] = $4; rss[k] = $6; if (!($1 in seen)) { seen[$1] = 1; order[n++] = $1 } }
  function verdict(ok) { return ok ? "met" : "MISSED" }
  END {
    for (i = 0; i < n; i++) {
      c = order[i]; m = c " makensis-solid-lzma"; z = c " makensis-zlib"; s7 = c " 7z-mx7"
      o7 = c " ours-L7"; o9 = c " ours-L9"; o1 = c " ours-L1"
      if ((o7 in size) && (m in size)) {
        r = size[o7] / size[m]; w = wall[o7] / wall[m]
        if (c == "many-small")
          printf "%s: L7 payload %.3f x makensis solid LZMA (goal <= 2): %s\n", c, r, verdict(r <= 2)
        else
          printf "%s: L7 payload %.3f x makensis solid LZMA (goal <= 0.98): %s; wall %.2f x (goal <= 0.8): %s; peak RSS %d MB (goal < 400): %s\n",
            c, r, verdict(r <= 0.98), w, verdict(w <= 0.8), rss[o7], verdict(rss[o7] < 400)
      }
      if ((o9 in size) && (s7 in size)) {
        r = size[o9] / size[s7]
        printf "%s: L9 payload %.3f x 7-Zip -mx7 (goal <= 1): %s\n", c, r, verdict(r <= 1)
      }
      if ((o1 in size) && (z in size)) {
        f = wall[z] / (wall[o1] > 0.01 ? wall[o1] : 0.01); r = size[o1] / size[z]
        printf "%s: L1 %.2f times as fast as makensis zlib (goal >= 3): %s; payload %.3f x (goal < 1): %s\n",
          c, f, verdict(f >= 3), r, verdict(r < 1)
      }
    }
  }' "$results"

[ -n "$PLOT" ] || exit 0
# One panel per corpus: payload against wall time, a point per tool and level, each with
# its own colour and mark in the panel's key (labels beside the points overlapped where
# tools are close).
plot=$work/plot.gp
{
  echo "set terminal svg size 1000,$((400 * ($(echo $CORPORA | wc -w) + 1) / 2)) dynamic font 'sans,11'"
  echo "set output '$PLOT'"
  echo "set multiplot layout $((($(echo $CORPORA | wc -w) + 1) / 2)),2"
  echo "set xlabel 'wall time (s)'; set ylabel 'payload (MB)'; set grid"
  echo "set key outside right top vertical font 'sans,9' spacing 1.1"
  echo "set offsets graph 0.05, graph 0.05, graph 0.1, graph 0.1"
  for c in $CORPORA; do
    # A block per tool, its name in the header line for the key.
    awk -v c="$c" '$1 == c { printf "wall payload \"%s\"\n%s %.4f 0\n\n\n", $2, $4, $3 / 1e6 }' \
      "$results" > "$work/plot.$c.dat"
    echo "set title '$c'"
    echo "plot for [i=0:$(($(awk -v c="$c" '$1 == c' "$results" | wc -l) - 1))] '$work/plot.$c.dat' index i using 1:2 with points pt (i % 10) + 4 ps 1.3 lc i + 1 title columnheader(3)"
  done
  echo "unset multiplot"
} > "$plot"
gnuplot "$plot"
echo "plot: $PLOT"
