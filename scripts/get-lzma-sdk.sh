#!/bin/bash
# Unpacks the C sources of the LZMA SDK (public domain) from Debian's 7zip source package
# into out/deps/lzma-sdk/C: the packing library encodes its group stream with the SDK's
# LZMA2 encoder, whose match finder runs on a second thread. Cached; a second run returns
# at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dest="$top/out/deps/lzma-sdk"
[ -f "$dest/C/Lzma2Enc.c" ] && exit 0

work="$top/out/deps/7zip-src"
rm -rf "$work"; mkdir -p "$work"
cd "$work"
"$top/scripts/apt-source.sh" 7zip src
rm -rf "$dest"; mkdir -p "$dest"
cp -a src/C "$dest/C"
dpkg-parsechangelog -l src/debian/changelog -S Version > "$dest/VERSION"
rm -rf "$work"
echo "LZMA SDK $(cat "$dest/VERSION") unpacked in $dest"
