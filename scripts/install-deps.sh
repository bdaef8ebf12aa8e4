#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, and nothing when they are all present.
#   scripts/install-deps.sh          what building and running the demo needs
#   scripts/install-deps.sh --test   that, plus what the test suite needs (which runs on
#                                    the SDL 1.2 compatibility layer too)
#   scripts/install-deps.sh --package  that, plus what building the Debian package needs
set -euo pipefail

packages=(g++ make cmake pkg-config libsdl1.2-dev libpng-dev scdoc)
# velmora-import reads GIFs and sprite sheets' JSON.
packages+=(libgif-dev nlohmann-json3-dev)
if [ "${1:-}" = "--test" ] || [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev file)
fi
if [ "${1:-}" = "--test" ]; then
  packages+=(googletest libgtest-dev libx11-dev libxfixes-dev xvfb xdotool x11-apps x11-utils
             imagemagick xauth valgrind clang libclang-rt-14-dev gnuplot-nox
             lintian desktop-file-utils appstream man-db libsdl1.2-compat)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
