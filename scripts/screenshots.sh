#!/bin/bash
# Pictures of the installer's wizard, a PNG of every page, for anyone to look at: builds what
# is needed, builds the demo project (its protected form, so that the password page shows
# too) and runs its Setup.exe under Wine on a virtual display, where the wizard's test
# driver goes through the pages and takes the pictures.
#   scripts/screenshots.sh [FOLDER] [--scale 100|150]
# FOLDER defaults to out/screenshots; --scale 150 shows the wizard as at 144 dpi, and the
# files' names end in -150 then.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

winpath() {
  echo "Z:$1" | tr / '\\'
}

# Inside the virtual display: the Wine settings of the pictures, then the wizard.
if [ "${1:-}" = --on-display ]; then
  work=$2 dpi=$3
  prefix=$("$top/scripts/wine-run.sh" --prefix 64)
  wine=(env WINEPREFIX="$prefix" WINEDEBUG=-all /usr/lib/wine/wine64)
  # A desktop of Wine's own draws the windows' title bars (there is no window manager).
  "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
  "${wine[@]}" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x960 /f >/dev/null
  "${wine[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
  WINEPREFIX=$prefix wineserver -w
  rm -rf "$prefix/drive_c/Program Files/Marvo Demo"
  status=0
  "$top/scripts/wine-run.sh" "$work/WizardDriver.exe" -v -f "$(winpath "$work/steps.txt")" -- \
    "$(winpath "$work/demo/SetupProtected.exe")" || status=$?
  "$top/scripts/wine-run.sh" --stop 64
  exit $status
fi

out=$top/out/screenshots
scale=100
while [ $# -gt 0 ]; do
  case $1 in
    --scale) scale=${2:-}; shift 2 || shift ;;
    -h|--help) sed -n 2,9p "$0"; exit 0 ;;
    *) out=$1; shift ;;
  esac
done
case $scale in
  100) dpi=96 suffix= ;;
  150) dpi=144 suffix=-150 ;;
  *) echo "screenshots.sh: --scale takes 100 or 150, not '$scale'" >&2; exit 2 ;;
esac
for tool in xvfb-run convert; do
  command -v $tool >/dev/null || { echo "screenshots.sh: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)

# The 64-bit installer, which every machine with 64-bit Wine runs; it is built from the same
# sources as the shipped 32-bit one and looks the same.
build=${KEST_BUILD_DIR:-$top/out/native}
cmake --preset native -B "$build" >/dev/null
cmake --build "$build" -j2 --target kestbuild Pack kest_presetup kest_sfx64 kest_unkest64 \
  kest_wizard_driver64
work=$top/out/screenshots-work
rm -rf "$work"
mkdir -p "$work/tools"
cp "$build/bin/kestbuild" "$build/bin/Pack.dll" "$build/sfx64/Kest.sfx" "$work/tools/"
cp -r "$build/bin/Presetup" "$work/tools/"
cp "$build/sfx64/UnKest.exe" "$work/tools/Presetup/"
cp "$build/sfx64/WizardDriver.exe" "$work/"

# The demo, with sample files in this copy only: the demo alone installs too fast for a
# picture of the progress page.
cp -r "$top/examples/demo" "$work/demo"
mkdir -p "$work/demo/Image/Data/Samples"
head -c $((1200 * 8192)) /dev/urandom |
  split -b 8192 -a 4 -d --additional-suffix=.dat - "$work/demo/Image/Data/Samples/Sample"
(cd "$work/demo" && KEST_NO_WAIT=1 CI=1 "$work/tools/kestbuild" DemoProtected </dev/null >/dev/null)

ini=$work/demo/Image/Presetup/Kest.ini
password=$(sed -n 's/^Password=//p' "$work/demo/DemoProtected.kst" | tr -d '\r')
# The wizard's identifiers, as the installer's resource header defines them.
id() {
  awk -v name="$1" '$1 == "#define" && $2 == name { print $3 }' "$top/sfx/SfxResource.h"
}
shot() {
  echo "shot $(winpath "$work/$1.bmp")"
}
next="click 1"  # IDOK: Next, Install, Finish
{
  if grep -qi '^Languages=.*,' "$ini"; then
    echo "page $(id IDD_PAGE_LANGUAGE)"; shot 1-language; echo "$next"
  fi
  echo "page $(id IDD_PAGE_WELCOME)"; shot 2-welcome; echo "$next"
  if grep -qi '^License=' "$ini"; then
    echo "page $(id IDD_PAGE_LICENSE)"; echo "check $(id IDC_ACCEPT)"; shot 3-license; echo "$next"
  fi
  echo "page $(id IDD_PAGE_PASSWORD)"; echo "set $(id IDC_PASSWORD) $password"; shot 4-password
  echo "$next"
  echo "page $(id IDD_PAGE_FOLDER)"; shot 5-folder; echo "$next"
  echo "page $(id IDD_PAGE_PROGRESS)"; echo "sleep 1500"; shot 6-progress
  echo "page $(id IDD_PAGE_FINISH)"; shot 7-finish; echo "$next"
} >"$work/steps.txt"

KEST_WINE_GUI=1 KEST_WINE_GUI_PREFIX=$top/out/wineprefix64-shots \
  xvfb-run -a -s "-screen 0 1280x960x24" "$0" --on-display "$work" "$dpi"
for bmp in "$work"/*.bmp; do
  name=$(basename "$bmp" .bmp)
  convert "$bmp" "$out/wizard-$name$suffix.png"
  echo "$out/wizard-$name$suffix.png"
done
