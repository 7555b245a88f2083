#!/bin/bash
# Builds the demo project with the native program and with KestBuild.exe under Wine and
# checks that both give the same bytes: the output must not depend on the platform.
# Arguments: the Windows build's bin directory, the source tree. The native build is
# taken from $KEST_NATIVE_BIN_DIR, else out/native/bin; without one the test is skipped.
set -euo pipefail
winbin=$1
src=$2
natbin=${KEST_NATIVE_BIN_DIR:-$src/out/native/bin}
if [ ! -x "$natbin/kestbuild" ] || [ ! -f "$natbin/Pack.dll" ]; then
  echo "no native build in $natbin: skipped"
  exit 77
fi

work=$(mktemp -d "${KEST_TEST_TMP:-/tmp}/same.XXXXXX")
trap 'rm -rf "$work"' EXIT
for side in native wine; do
  cp -r "$src/examples/demo" "$work/$side"
  mkdir -p "$work/$side.tmp"
done

build() {  # side, project, extra environment...
  local side=$1 project=$2
  shift 2
  (cd "$work/$side" &&
    if [ "$side" = native ]; then
      env TMPDIR="$work/$side.tmp/" "$@" "$natbin/kestbuild" "$project" </dev/null >"$work/$side.log"
    else
      env TMP="$work/$side.tmp" TEMP="$work/$side.tmp" "$@" \
        "$src/scripts/wine-run.sh" "$winbin/KestBuild.exe" "$project" </dev/null >"$work/$side.log"
    fi) || { cat "$work/$side.log"; echo "$side build of $project failed"; exit 1; }
}

for side in native wine; do
  build $side Demo
  build $side DemoProtected KEST_VOLUME_SIZE=16K
done

# Names beyond ASCII: the files carry UTF-8 names on disk (Wine shows them to the Windows
# build in its ANSI code page), the project is UTF-8 for the native build and Windows-1252
# for the Windows build; both must store the same Windows-1252 bytes.
kst='[Config]\r\nImagePath=Bilder\r\nExeName=Namen\r\nCompressionLevel=1\r\n[FileLinks]\r\nData\\Lizenz-Übersicht.txt=Verknüpft\\Übersicht.txt\r\n'
for side in native wine; do
  mkdir -p "$work/$side/Bilder/Data/Ärger" "$work/$side/Verknüpft"
  printf 'café' >"$work/$side/Bilder/Data/café.txt"
  printf 'über' >"$work/$side/Bilder/Data/Ärger/ü.txt"
  printf 'Übersicht' >"$work/$side/Verknüpft/Übersicht.txt"
done
printf "$kst" >"$work/native/Namen.kst"
printf "$kst" | iconv -f UTF-8 -t CP1252 >"$work/wine/Namen.kst"
for side in native wine; do
  build $side Namen
done

status=0
if cmp "$work/native/Namen.exe" "$work/wine/Namen.exe"; then echo "same: Namen.exe"; else status=1; fi
# The reader shows the stored names in UTF-8 again.
listed=$("$natbin/kestx" list "$work/native/Namen.exe")
for name in 'Data\café.txt' 'Data\Ärger\ü.txt' 'Data\Lizenz-Übersicht.txt'; do
  grep -qF "$name" <<<"$listed" || { echo "kestx list does not show $name:"; echo "$listed"; status=1; }
done
outputs=$(cd "$work/native" && ls Setup*)
[ "$(cd "$work/wine" && ls Setup*)" = "$outputs" ] || { echo "different output files"; status=1; }
for f in $outputs; do
  if cmp "$work/native/$f" "$work/wine/$f"; then echo "same: $f"; else status=1; fi
done
[ "$(echo "$outputs" | wc -l)" -ge 3 ] || { echo "expected volumes beside the protected build"; status=1; }
exit $status
