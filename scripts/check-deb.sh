#!/usr/bin/env bash
# Checks the Debian package in FOLDER (`make deb` writes build/packages/): lintian finds no
# error, `apt-get install ./tunemill_*.deb` installs it with its dependencies, the installed
# programs work from any folder with an empty home, the desktop files pass their validators,
# and a purge leaves none of the package's files behind. Needs root (sudo otherwise).
# usage: scripts/check-deb.sh [FOLDER]
set -euo pipefail
folder=${1:-build/packages}
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
deb=$(ls -t "$folder"/tunemill_*.deb | head -1)
echo "check-deb: $deb, $(du -k "$deb" | cut -f1) KB"
fail() {
  echo "check-deb: $*" >&2
  exit 1
}

# lintian: every error fails; warnings and notes are shown.
lintian --fail-on error "$deb" || fail "lintian reports errors"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$(realpath "$deb")" >/dev/null
dpkg-query -L tunemill | sort > "$scratch/files"

mkdir -p "$scratch/home" "$scratch/work"
cd "$scratch/work"
run() { env -i HOME="$scratch/home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
run tmw-cli --version
run tmw-cli bank list >/dev/null || fail "tmw-cli bank list failed"
run tmw-cli render /usr/share/tunemill/demos/first-steps.sn2 song.mp3 || fail "render failed"
[ -s song.mp3 ] || fail "render wrote nothing"
[ -x /usr/bin/tmw ] || fail "tmw is not installed"
desktop-file-validate /usr/share/applications/example.larkfield.Tunemill.desktop
appstreamcli validate --no-net /usr/share/metainfo/example.larkfield.Tunemill.metainfo.xml
# The triggers registered the file types and the menu entry.
grep -q "application/x-tunemill-song" /usr/share/mime/globs2 || fail "the song type is not registered"
grep -q "example.larkfield.Tunemill.desktop" /usr/share/applications/mimeinfo.cache ||
  fail "the desktop entry is not registered"
cd /

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tunemill >/dev/null
status=$(dpkg-query -W -f='${db:Status-Status}' tunemill 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "dpkg still holds tunemill ($status)"
left=0
while read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then
    echo "check-deb: left behind: $path" >&2
    left=1
  fi
done < "$scratch/files"
[ -d /usr/share/tunemill ] && { echo "check-deb: left behind: /usr/share/tunemill" >&2; left=1; }
[ $left -eq 0 ] || fail "the purge left files behind"
grep -q "application/x-tunemill-song" /usr/share/mime/globs2 && fail "the song type is still registered"
echo "check-deb: the package installs, works and purges cleanly"
