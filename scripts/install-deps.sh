#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and run.
# Idempotent: packages that are already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang libclang-rt-14-dev llvm clang-format
  universal-ctags
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev
  portaudio19-dev librtmidi-dev libasound2-dev libasound2-plugins alsa-utils
  libcli11-dev nlohmann-json3-dev libsndfile1-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  openmpt123 libopenmpt-dev
  timidity freepats python3-mido
  xvfb xauth xdotool
  librsvg2-bin
  desktop-file-utils appstream shared-mime-info lintian libxml2-utils man-db zsh fish
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
