#!/bin/bash
# Cross-builds liblzma for Windows (static) from Debian's xz-utils source package:
#   out/deps/xz-mingw/      the full library (encoders and decoders) for Pack.dll and kestx;
#   out/deps/xz-mingw-dec/  only what the installer stub needs: the .xz and raw LZMA2
#                           decoders (LZMA2, which needs LZMA1, and the x86 filter) with the
#                           CRC-64 check (liblzma always needs CRC-32), single-threaded.
# both for 32-bit Windows and, as xz-mingw64 and xz-mingw64-dec, for 64-bit Windows (the
# Windows tests run on a 64-bit build where the machine cannot run 32-bit programs).
# Each is cached; a second run returns at once.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/out/deps"
wanted=(xz-mingw xz-mingw-dec xz-mingw64 xz-mingw64-dec)
missing=0
for d in "${wanted[@]}"; do [ -f "$deps/$d/lib/liblzma.a" ] || missing=1; done
[ $missing = 0 ] && exit 0

work="$top/out/deps/xz-src"
rm -rf "$work"; mkdir -p "$work"
cd "$work"

"$top/scripts/apt-source.sh" xz-utils src

common=(--enable-static --disable-shared --disable-xz --disable-xzdec
  --disable-lzmadec --disable-lzmainfo --disable-scripts --disable-doc --disable-nls)

build() {  # build <prefix> <host> <configure options...>
  local prefix=$1 host=$2; shift 2
  [ -f "$prefix/lib/liblzma.a" ] && return 0
  rm -rf "$work/build"; cp -a "$work/src" "$work/build"
  (cd "$work/build" && ./configure --host="$host" --prefix="$prefix" "${common[@]}" "$@" >/dev/null &&
    make -j"$(nproc)" >/dev/null && make install >/dev/null)
  echo "liblzma for mingw installed in $prefix"
}

decoders=(--enable-threads=no --disable-encoders --enable-decoders=lzma1,lzma2,x86
  --disable-match-finders --enable-checks=crc32,crc64 --disable-lzip-decoder --disable-microlzma)
build "$deps/xz-mingw" i686-w64-mingw32 --enable-threads=win95
build "$deps/xz-mingw-dec" i686-w64-mingw32 "${decoders[@]}"
build "$deps/xz-mingw64" x86_64-w64-mingw32 --enable-threads=vista
build "$deps/xz-mingw64-dec" x86_64-w64-mingw32 "${decoders[@]}"
rm -rf "$work"
