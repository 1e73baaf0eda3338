#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the demo and the tests need, when missing.
# Usage: scripts/deps.sh [run|test|video|package|clean-install]
set -euo pipefail
what=${1:-test}

packages=(
  build-essential cmake pkg-config
  libsdl1.2-compat-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  libftgl-dev libfreetype-dev libjpeg62-turbo-dev libtinyxml-dev libsndfile1-dev libgtk-3-dev
  zlib1g-dev libpulse-dev libharfbuzz-dev libfribidi-dev libfontconfig-dev libicu-dev
)
if [ "$what" = test ]; then
  packages+=(libgtest-dev googletest libbenchmark-dev libpng-dev clang libclang-rt-14-dev
             xvfb xauth xdotool python3 desktop-file-utils man-db pulseaudio pulseaudio-utils)
elif [ "$what" = video ]; then
  packages+=(ffmpeg xvfb)
elif [ "$what" = package ]; then
  # cpack's DEB generator: dpkg-shlibdeps computes the dependencies, file finds the binaries.
  packages+=(dpkg-dev file)
elif [ "$what" = clean-install ]; then
  # scripts/clean-install-test.sh: a fresh Debian 12 root to install the package into.
  packages+=(mmdebstrap)
fi
# The Debian package in the tests (scripts/test.sh): built by scripts/package.sh (dpkg-dev,
# file), checked by scripts/lint-package.sh (lintian, appstream's appstreamcli), installed
# on a fresh Debian 12 root by scripts/clean-install-test.sh (mmdebstrap).
if [ "$what" = test ]; then
  packages+=(dpkg-dev file lintian appstream mmdebstrap)
fi

# The audio clock through PipeWire (tests/e2e/pipewire_clock.sh): the pipewire package
# holds its PulseAudio service as a module; WirePlumber links the streams and needs a
# session bus (dbus-daemon). pipewire-pulse, which would take over the desktop's sound,
# is not needed.
if [ "$what" = test ]; then
  packages+=(pipewire wireplumber dbus-daemon)
fi

# Names in every script (the words of the command line): the faces that draw them, and
# HarfBuzz's own shaper to check the layout against.
if [ "$what" = test ]; then
  packages+=(fonts-noto-core fonts-noto-cjk fonts-noto-color-emoji fonts-kaushanscript libharfbuzz-bin)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
