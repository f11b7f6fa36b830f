#!/usr/bin/env bash
# Installs every Debian 12 package TarnRecorder needs to build, run and test.
# Runs as root, or through sudo for an ordinary user.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake pkg-config git
  # engine libraries
  libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev libavdevice-dev
  libswresample-dev libswscale-dev
  libgoogle-glog-dev libwebrtc-audio-processing-dev libcurl4-openssl-dev libjsoncpp-dev libssl-dev
  libcairo2-dev libpulse-dev libsdl2-dev libyuv-dev
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-xinput-dev libxcb-randr0-dev libxcb-shape0-dev
  libx11-dev libxtst-dev
  # user interface
  qt6-base-dev qt6-tools-dev libqt6uitools6 libqt6opengl6-dev qt6-l10n-tools libgl-dev
  fonts-wqy-microhei fonts-arphic-uming
  # the downloaded update is opened with the desktop's handler
  xdg-utils
  # the cut, convert and compress pages run the ffmpeg program (also used by the tests below)
  ffmpeg
  # the desktop entry's and metainfo's validators; the Debian package (cpack -G DEB)
  desktop-file-utils appstream dpkg-dev file
  # tests and the test rig
  libgtest-dev libgmock-dev xvfb xauth x11-utils x11-xserver-utils xdotool trayer openbox xcompmgr wmctrl pulseaudio pulseaudio-utils
  pipewire pipewire-pulse wireplumber dbus-daemon
  ffmpeg espeak-ng sox imagemagick procps time
  # the update tests make their certificates and run a small HTTPS service
  openssl python3
  # the accessibility tree, read as a screen reader reads it
  at-spi2-core python3-pyatspi
)

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  SUDO=(sudo -E)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update
"${SUDO[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

# The test rig starts its own sound servers. A machine whose sessions already
# use one of PulseAudio and PipeWire's pulse server keeps it: the other one,
# freshly installed, would otherwise start at the next login and take its place.
newly() { [[ " ${missing[*]} " == *" $1 "* ]]; }
if command -v systemctl >/dev/null; then
  if newly pipewire-pulse && ! newly pulseaudio; then
    "${SUDO[@]}" systemctl --global disable pipewire-pulse.service pipewire-pulse.socket || true
  elif newly pulseaudio && ! newly pipewire-pulse; then
    "${SUDO[@]}" systemctl --global disable pulseaudio.service pulseaudio.socket || true
  fi
fi
