#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the game need.
# Safe to run again: packages that are already there are skipped.
set -euo pipefail

packages=(
  # tool chain
  g++ cmake ninja-build pkg-config git python3
  # window, events, audio, joysticks
  libsdl2-dev
  # text, pictures
  libfreetype-dev libfontconfig-dev libjpeg-dev libpng-dev
  # stand-ins for the Windows fonts
  fonts-dejavu-core fonts-ipafont-gothic fonts-vlgothic
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # window tests without a display, sound checks, fuzzing
  xvfb xauth xdotool sox clang libclang-rt-14-dev
  # the style and static checks CI runs (scripts/check-format.sh, scripts/check-tidy.sh)
  clang-format clang-tidy
  # a second X client for the focus tests; the validators of the installed desktop files
  x11-utils desktop-file-utils appstream
  # screenshots of the real window (docs/screenshots/README.md) and the window tests: xwd
  x11-apps
  # a window manager for the window tests (frames, full screen, closing from the frame)
  openbox
  # the sound check under load (scripts/audio-check.sh): a user sound server with a null sink
  pulseaudio pulseaudio-utils
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
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
