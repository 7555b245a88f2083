#!/bin/bash
# Installs everything KestBuild needs on a fresh Debian 12, as root. Idempotent: a second
# run only checks that the packages are there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

PKGS_NATIVE=(build-essential cmake ninja-build clang libclang-rt-14-dev clang-format
  libgtest-dev googletest libgmock-dev libbenchmark-dev liblzma-dev pkg-config
  g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev xz-utils dpkg-dev hyperfine time python3 file nsis 7zip bc openssl osslsigncode
  xvfb imagemagick)
PKGS_WINE=(wine wine32:i386 wine64)

missing=()
for p in "${PKGS_NATIVE[@]}" "${PKGS_WINE[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${PKGS_NATIVE[@]}" "${PKGS_WINE[@]}" >/dev/null
fi

# The Windows build links liblzma statically; Debian ships it only for Linux, so it is
# cross-built once from Debian's own source package and cached under out/.
"$here/build-xz-mingw.sh"
# The group stream's encoder (the LZMA SDK, with its two-thread match finder) is built
# from Debian's 7zip source package on every platform.
"$here/get-lzma-sdk.sh"
