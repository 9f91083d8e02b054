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

set --
# The composer, its command-line twin and the stock bank; whatever of them the build has made.
for name in tmw tmw-cli tmill.bnk; do
  if [ -f "$bin/$name" ]; then set -- "$@" "$bin/$name"; else echo "package: note: no $name in $bin" >&2; fi
done
# The help pages of both languages, in the folders beside the program where the composer looks.
for page in "$bin"/help/*.css; do
  [ -f "$page" ] && set -- "$@" --name "help/$(basename "$page")" "$page"
done
for page in "$bin"/help/*/*; do
  [ -f "$page" ] || continue
  set -- "$@" --name "help/$(basename "$(dirname "$page")")/$(basename "$page")" "$page"
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
set -- "$@" "$bin/tmuninst"

rm -rf "$out"
mkdir -p "$out"
"$bin/setup_archive" --volume-size "$volume" "$out" "$@"
cp "$bin/setup" "$out/setup"
echo "package: $out is ready (run $out/setup)"
