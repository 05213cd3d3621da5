#!/usr/bin/env bash
# Installs the Debian packages Kestrelvision needs to build, run and test.
# Does nothing when every package is already present.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins
  # translations: lupdate and lrelease for the catalogues
  qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools
  # Qt's own catalogues: its standard buttons and dialogs in the user's language
  qt6-translations-l10n
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  # the MJPEG compressor
  libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev libmosquitto-dev
  # the web page's server
  libsoup-3.0-dev
  # the fuzz target: clang with libFuzzer
  clang-14 libclang-rt-14-dev
  # run
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  gstreamer1.0-plugins-ugly gstreamer1.0-plugins-bad gstreamer1.0-tools
  # tests
  mosquitto mosquitto-clients
  ffmpeg xvfb xauth trayer imagemagick poppler-utils file dbus-daemon
  openbox xdotool x11-utils
  # the power-cut test's file system
  libfuse3-dev fuse3
  # packaging: validators and the Debian package tools
  desktop-file-utils appstream dpkg-dev systemd lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
