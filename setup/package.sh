#!/bin/sh
# Builds the installation set from a build folder: setup beside data.idx and its volumes.
# usage: setup/package.sh [BUILD_FOLDER] [OUT_FOLDER] [VOLUME_BYTES]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
out=${2:-dist}
volume=${3:-1474560}
bin=$build/bin

for required in setup tmuninst setup_archive tmw-cli; do
  if [ ! -x "$bin/$required" ]; then
    echo "package: $bin/$required is missing; build first" >&2
    exit 1
  fi
done

rm -rf "$out"
mkdir -p "$out"
# The programs travel without their debugging information (a third of their size or less);
# the build keeps its own copies as they are.
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
program() {
  if command -v strip >/dev/null 2>&1 && strip --strip-debug -o "$staging/$1" "$bin/$1" 2>/dev/null; then
    echo "$staging/$1"
  else
    echo "$bin/$1"
  fi
}

set --
# The composer, its command-line twin and the stock bank; whatever of them the build has made.
for name in tmw tmw-cli; do
  if [ -f "$bin/$name" ]; then set -- "$@" "$(program "$name")"; else echo "package: note: no $name in $bin" >&2; fi
done
if [ -f "$bin/tmill.bnk" ]; then set -- "$@" "$bin/tmill.bnk"; else echo "package: note: no tmill.bnk in $bin" >&2; fi
# The help pages of both languages, in the folders beside the program where the composer looks.
for page in "$bin"/help/*.css; do
  [ -f "$page" ] && set -- "$@" --name "help/$(basename "$page")" "$page"
done
# Pages and their pictures, at any depth below help/ (help/en/images/*.png).
for page in $(find "$bin/help" -mindepth 2 -type f | sort); do
  set -- "$@" --name "help/${page#"$bin"/help/}" "$page"
done
[ -f "$bin/help/en/index.html" ] || echo "package: note: no help pages in $bin/help" >&2
# The demo songs, to start from.
for song in "$here"/data/demos/*.sn2; do
  [ -f "$song" ] && set -- "$@" --name "demos/$(basename "$song")" "$song"
done
# The icons of the program and its three file kinds.
for icon in "$here"/resources/icons/*.svg; do
  set -- "$@" "$icon"
done
set -- "$@" "$(program tmuninst)"

"$bin/setup_archive" --volume-size "$volume" "$out" "$@"
cp "$(program setup)" "$out/setup"
echo "package: $out is ready (run $out/setup)"
