#!/bin/bash
# Builds every fuzz/*_fuzz.cpp with clang's libFuzzer (address and undefined-behaviour
# sanitizers on) and runs each for a short time on its seed corpus.
#
#   scripts/fuzz.sh [seconds per target] [target name...]
#
# A target names the sources it needs in a comment line at its top:
#   // fuzz-sources: src/platform/PeImage.cpp
# libraries it links in a line "// fuzz-libs: -llzma",
# and may name extra seed files (shell globs, missing ones ignored) in
#   // fuzz-seeds: /some/where/*.dll
# besides the seeds kept in fuzz/corpus/<target>/. Environment: FUZZ_CXX (clang++),
# KEST_FUZZ_OUT (out/fuzz).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-20}
[ $# -gt 0 ] && shift
cxx=${FUZZ_CXX:-clang++}
out=${KEST_FUZZ_OUT:-$top/out/fuzz}
mkdir -p "$out"

wanted() {
  [ $# -eq 1 ] && return 0
  local name=$1; shift
  for t in "$@"; do [ "$t" = "$name" ] && return 0; done
  return 1
}

failed=0
for src in "$top"/fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  wanted "$name" "$@" || continue
  sources=()
  includes=(-I"$top/src/platform" -I"$top/src/support")
  libs=$(sed -n 's|^// fuzz-libs:||p' "$src")
  for s in $(sed -n 's|^// fuzz-sources:||p' "$src"); do
    sources+=("$top/$s")
    includes+=(-I"$(dirname "$top/$s")")
  done
  echo "== $name: building"
  "$cxx" -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    "${includes[@]}" "$src" "${sources[@]}" $libs -o "$out/$name"
  corpus="$out/$name.corpus"
  mkdir -p "$corpus"
  if [ -d "$top/fuzz/corpus/$name" ]; then
    find "$top/fuzz/corpus/$name" -maxdepth 1 -type f -exec cp -f {} "$corpus/" \;
  fi
  for pattern in $(sed -n 's|^// fuzz-seeds:||p' "$src"); do
    for f in $pattern; do [ -f "$f" ] && cp -f "$f" "$corpus/"; done
  done
  echo "== $name: running ${secs}s"
  if ! (cd "$out" && "./$name" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" 2>"$out/$name.log"); then
    echo "== $name: FAILED (see $out/$name.log)"
    tail -40 "$out/$name.log"
    failed=1
  else
    grep -E "stat::number_of_executed_units|cov:" "$out/$name.log" | tail -2 || true
  fi
done
exit $failed
