#!/bin/bash
# Unpacks Debian's source package PACKAGE into DIR (which must not exist), from the current
# directory. apt-get source needs deb-src entries: where the machine has none, they are
# derived from its own apt sources.
#   usage: apt-source.sh PACKAGE DIR
set -euo pipefail
package=$1 dir=$2
if ! apt-get source --download-only "$package" >/dev/null 2>&1; then
  srcdir=/etc/apt/sources.list.d
  if [ -f "$srcdir/debian.sources" ] && ! grep -q "deb-src" "$srcdir/debian.sources"; then
    sed 's/^Types: deb$/Types: deb-src/' "$srcdir/debian.sources" > "$srcdir/kestbuild-src.sources"
  fi
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > "$srcdir/kestbuild-src.list" || true
  fi
  apt-get update -qq
  apt-get source --download-only "$package" >/dev/null
fi
dpkg-source -x --no-check "${package}"_*.dsc "$dir" >/dev/null
