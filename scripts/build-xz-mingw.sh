#!/bin/bash
# Cross-builds liblzma for 32-bit Windows (static) from Debian's xz-utils source package.
# The result is cached in out/deps/xz-mingw/; a second run returns at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix="$top/out/deps/xz-mingw"
[ -f "$prefix/lib/liblzma.a" ] && exit 0

work="$top/out/deps/xz-src"
rm -rf "$work"; mkdir -p "$work"
cd "$work"

# apt-get source needs deb-src entries; derive them from the machine's own apt sources.
if ! apt-get source --download-only xz-utils >/dev/null 2>&1; then
  srcdir=/etc/apt/sources.list.d
  if [ -f "$srcdir/debian.sources" ] && ! grep -q "deb-src" "$srcdir/debian.sources"; then
    sed 's/^Types: deb$/Types: deb-src/' "$srcdir/debian.sources" > "$srcdir/kestbuild-src.sources"
  fi
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$srcdir/kestbuild-src.list" || true
  fi
  apt-get update -qq
  apt-get source --download-only xz-utils >/dev/null
fi
dpkg-source -x --no-check xz-utils_*.dsc src >/dev/null
cd src
./configure --host=i686-w64-mingw32 --prefix="$prefix" --enable-static --disable-shared \
  --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-scripts \
  --disable-doc --disable-nls --enable-threads=win95 >/dev/null
make -j"$(nproc)" >/dev/null
make install >/dev/null
rm -rf "$work"
echo "liblzma for mingw installed in $prefix"
