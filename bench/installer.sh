#!/bin/bash
# Installs the small-files corpus silently under Wine with our Setup.exe and with a makensis
# installer of the same files (solid LZMA), in one run, and reports wall times and their
# ratio; also the native reader's extraction of our package (liblzma at native speed) as the
# floor of what decompression can cost.
# Usage: bench/installer.sh [CORPORA_DIR]   env: CORPUS=small-files, WORK=dir, RUNS=3
# Needs: the native build (kestbuild, kestx, the stubs), nsis, Wine. makensis writes 32-bit
# installers by default; where the kernel runs no 32-bit programs both are measured as 64-bit
# programs under wine64 (our stub's 64-bit build, makensis's amd64-unicode target).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
corpora=${1:-$top/out/bench-corpora}
CORPUS=${CORPUS:-small-files}
RUNS=${RUNS:-3}
work=${WORK:-$top/out/bench-installer}
bin=$top/out/native/bin
[ -d "$corpora/$CORPUS" ] || bash "$top/bench/corpora.sh" "$corpora" "$CORPUS"
cmake --build "$top/out/native" --target kestbuild Pack kestx kest_sfx kest_unkest kest_presetup >/dev/null

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  wine=/usr/lib/wine/wine; prefix=$work/wineprefix; stubs=$bin; bits=32
else
  wine=/usr/lib/wine/wine64; prefix=$work/wineprefix64; stubs=$top/out/native/sfx64; bits=64
  cmake --build "$top/out/native" --target kest_sfx64 kest_unkest64 >/dev/null
fi
export WINEPREFIX=$prefix WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$work" "$prefix"
[ -f "$prefix/system.reg" ] || timeout 300 "$wine" wineboot -i >/dev/null 2>&1 || true

# Our installer: a project over the corpus, built with the stub that runs here.
tools=$work/tools; rm -rf "$tools"; mkdir -p "$tools"
cp "$bin/kestbuild" "$bin/Pack.dll" "$tools/"; cp -r "$bin/Presetup" "$tools/"
cp "$stubs/Kest.sfx" "$tools/"; cp "$stubs/UnKest.exe" "$tools/Presetup/"
proj=$work/project; rm -rf "$proj"; mkdir -p "$proj/Image/Presetup"
ln -s "$corpora/$CORPUS" "$proj/Image/Data"
printf '[Config]\r\nTitle=Bench\r\nLanguages=ENU\r\nUninstall=0\r\n' > "$proj/Image/Presetup/Kest.ini"
printf '[Config]\r\nImagePath=Image\r\nExeName=Setup.exe\r\n' > "$proj/Bench.kst"
(cd "$proj" && CI=1 "$tools/kestbuild" Bench >/dev/null)

# makensis: the same files, solid LZMA, silent.
nsis=$work/nsis; rm -rf "$nsis"; mkdir -p "$nsis"
target=x86-unicode
[ $bits = 64 ] && target=amd64-unicode
cat > "$nsis/bench.nsi" <<NSI
Unicode true
Target $target
SetCompressor /SOLID lzma
OutFile "$nsis/SetupNsis.exe"
InstallDir "C:\\bench-nsis"
SilentInstall silent
RequestExecutionLevel user
Section
  SetOutPath "\$INSTDIR"
  File /r "$corpora/$CORPUS/*"
SectionEnd
NSI
makensis -V1 "$nsis/bench.nsi" >/dev/null

drive=$prefix/drive_c
time_one() {  # time_one LABEL COMMAND...: median wall seconds of RUNS runs
  local label=$1; shift
  local times=()
  for _ in $(seq "$RUNS"); do
    rm -rf "$drive/bench-ours" "$drive/bench-nsis" "$work/extract"
    local t0 t1
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || { echo "$label failed" >&2; return 1; }; t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc)")
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (RUNS + 1) / 2 ))p"
}

ours=$(time_one ours timeout 900 "$wine" "$proj/Setup.exe" /S "/D=C:\\bench-ours")
native=$(time_one native "$bin/kestx" extract "$proj/Setup.exe" "$work/extract")
echo "corpus $CORPUS: $(find -L "$corpora/$CORPUS" -type f | wc -l) files, $(du -sbL "$corpora/$CORPUS" | cut -f1) bytes"
echo "our Setup.exe ($bits-bit, Wine): $ours s; package $(stat -c %s "$proj/Setup.exe") bytes"
echo "native extraction (kestx, liblzma): $native s"
theirs=$(time_one nsis timeout 900 "$wine" "$nsis/SetupNsis.exe" /S)
echo "makensis installer ($target, Wine): $theirs s; $(stat -c %s "$nsis/SetupNsis.exe") bytes"
echo "ratio ours / makensis: $(echo "scale=3; $ours / $theirs" | bc)"
