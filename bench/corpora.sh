#!/bin/bash
# Builds the benchmark corpora from Debian packages, so that every machine measures the same
# bytes: each corpus is DEST/<name>/ holding regular files only (links left out).
#   small-files  the Python 3.11 standard library (libpython3.11-stdlib, -minimal)
#   binaries     every sixth of Wine's 32-bit PE files by name (libwine:i386), debug info
#                stripped as an installer would ship them
#   mixed        the Python 3.11 HTML documentation (python3.11-doc, without the page sources
#                and release notes) plus seven languages of
#                the message catalogues of coreutils, tar, grep, sed, findutils and diffutils
#   many-small   100,000 generated text files (200 folders of 500, 12.9 MB)
# The packages are fetched with apt-get download into DEBS (default DEST/../bench-debs) and
# unpacked there, never installed; DEST/<name>.versions lists the package versions used.
# Usage: corpora.sh DEST [small-files|binaries|mixed|many-small ...]   (default: all four)
# Needs: apt-get, dpkg-deb, python3, i686-w64-mingw32-strip (all from scripts/setup.sh).
set -euo pipefail
DEST=${1:?usage: corpora.sh DEST [corpus...]}
shift || true
WANT=${*:-small-files binaries mixed many-small}
mkdir -p "$DEST"
DEST=$(cd "$DEST" && pwd)
DEBS=${DEBS:-$(dirname "$DEST")/bench-debs}
mkdir -p "$DEBS"

# deb PACKAGE[:ARCH]: the unpacked tree of the package's candidate version, fetched once.
deb() {
  local pkg=$1 name=${1%%:*} tree
  tree=$DEBS/tree-${pkg/:/-}
  if [ ! -d "$tree" ]; then
    local file arch=${1#*:}
    [ "$arch" != "$1" ] || arch=$(dpkg --print-architecture)
    file=$(ls "$DEBS/${name}"_*_"$arch".deb "$DEBS/${name}"_*_all.deb 2>/dev/null | head -1 || true)
    if [ -z "$file" ]; then
      # apt-get download drops its privileges when it can; an unwritable folder only warns.
      (cd "$DEBS" && apt-get download -q "$pkg" >/dev/null 2>"$DEBS/download.log") ||
        { echo "cannot download $pkg:" >&2; cat "$DEBS/download.log" >&2; exit 1; }
      file=$(ls "$DEBS/${name}"_*_"$arch".deb "$DEBS/${name}"_*_all.deb 2>/dev/null | head -1)
    fi
    rm -rf "$tree.part" && mkdir -p "$tree.part"
    dpkg-deb -x "$file" "$tree.part"
    echo "$pkg $(dpkg-deb -f "$file" Version)" > "$tree.part/.version"
    mv "$tree.part" "$tree"
  fi
  cat "$tree/.version" >> "$DEST/$corpus.versions"
  echo "$tree"
}

# copy_files SRC DST [find predicates...]: the regular files under SRC, same relative paths.
copy_files() {
  local src=$1 dst=$2
  shift 2
  mkdir -p "$dst"
  (cd "$src" && find . "$@" -type f -print0 | xargs -0 -r cp --parents -t "$dst")
}

for corpus in $WANT; do
  rm -rf "${DEST:?}/$corpus" "$DEST/$corpus.versions"
  mkdir -p "$DEST/$corpus"
  case $corpus in
    small-files)
      for p in libpython3.11-minimal libpython3.11-stdlib; do
        copy_files "$(deb $p)/usr/lib/python3.11" "$DEST/$corpus/python3.11"
      done ;;
    binaries)
      src=$(deb libwine:i386)/usr/lib/i386-linux-gnu/wine/i386-windows
      (cd "$src" && find . -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort | awk 'NR % 6 == 1' |
         xargs -r cp -t "$DEST/$corpus")
      # NE files (16-bit) are not strip's; they stay as they are.
      find "$DEST/$corpus" -type f -exec i686-w64-mingw32-strip --strip-debug {} \; 2>/dev/null || true ;;
    mixed)
      copy_files "$(deb python3.11-doc)/usr/share/doc/python3.11/html" "$DEST/$corpus/doc/python3.11" \
        \( -path ./_sources -o -path ./whatsnew \) -prune -o
      for p in coreutils tar grep sed findutils diffutils; do
        tree=$(deb $p)
        for l in de fr es it ja ru zh_CN; do
          [ -d "$tree/usr/share/locale/$l" ] && copy_files "$tree/usr/share/locale/$l" "$DEST/$corpus/locale/$l"
        done
      done ;;
    many-small)
      python3 - "$DEST/$corpus" <<'PY'
import os, random, sys
random.seed(1)
for d in range(200):
    p = os.path.join(sys.argv[1], 'dir%03d' % d)
    os.makedirs(p)
    for f in range(500):
        with open(os.path.join(p, 'file%04d.txt' % f), 'w') as out:
            out.write(('line %d %d\n' % (d, f)) * random.randint(1, 20))
PY
      ;;
    *) echo "unknown corpus $corpus" >&2; exit 2 ;;
  esac
  n=$(find "$DEST/$corpus" -type f | wc -l)
  b=$(find "$DEST/$corpus" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
  echo "$corpus: $n files, $b bytes"
done
