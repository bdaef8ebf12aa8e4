#!/usr/bin/env bash
# Installs the Debian packages Velmora needs, and nothing when they are all present.
#   scripts/install-deps.sh          what building and running the demo needs
#   scripts/install-deps.sh --test   that, plus what the test suite needs (which runs on
#                                    the SDL 1.2 compatibility layer too, and in two browsers)
#   scripts/install-deps.sh --package  that, plus what building the Debian package needs
#   scripts/install-deps.sh --web    that, plus Emscripten, for `make web`
#   scripts/install-deps.sh --release  what the release checks need (scripts/test-release.sh,
#                                    and qemu for scripts/test-cross.sh)
#   scripts/install-deps.sh --cross ARCH  what cross-building the tools and the unit tests
#                                    for ARCH (a Debian architecture) and running them
#                                    under qemu needs: this machine's compiler and build
#                                    tools, ARCH's cross compiler and ARCH's libraries
# Every name is the one Debian 12, Debian 13 and Debian unstable all know: the
# release's default clang with its sanitizer runtime through the metapackages,
# and the compatibility layer's own package only where the release still has
# the classic SDL 1.2 beside it.
set -euo pipefail

tools=(g++ make cmake pkg-config scdoc)
libraries=(libsdl1.2-dev libpng-dev)
# velmora-import reads GIFs and sprite sheets' JSON; velmora-check --preview
# writes GIF and WebP animations; both compare pixels with a second reading by
# stb_image (libstb), and velmora-import a GIF's frames with GdkPixbuf's.
libraries+=(libgif-dev libwebp-dev nlohmann-json3-dev libstb-dev libgdk-pixbuf-2.0-dev)
# velmora-output-scale, which tells the launcher a Wayland desktop's scale: the
# client library, and (for the machine that builds) wayland-scanner and the
# xdg-output protocol.
libraries+=(libwayland-dev)
tools+=(libwayland-bin wayland-protocols)
packages=("${tools[@]}" "${libraries[@]}")
if [ "${1:-}" = "--web" ]; then
  packages+=(emscripten python3)
fi
if [ "${1:-}" = "--release" ]; then
  packages=(mmdebstrap util-linux git tar qemu-user-static binfmt-support)
fi
if [ "${1:-}" = "--cross" ]; then
  arch=${2:?install-deps: --cross needs a Debian architecture, such as s390x}
  # The build tools run here; every library (with the test libraries, the
  # classic SDL 1.2's compatibility layer and what the bench links) is ARCH's.
  # nlohmann-json is headers only, for every architecture at once.
  # ImageMagick and python3 serve the unit tests and the corpus run.
  packages=("${tools[@]}" python3 imagemagick qemu-user-static "crossbuild-essential-$arch")
  for p in "${libraries[@]}" libgtest-dev libxdamage-dev; do
    case $p in
      nlohmann-json3-dev) packages+=("$p") ;;
      *) packages+=("$p:$arch") ;;
    esac
  done
  foreign=$arch
fi
if [ "${1:-}" = "--test" ] || [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev file)
fi
if [ "${1:-}" = "--test" ]; then
  packages+=(googletest libgtest-dev libx11-dev libxfixes-dev libxdamage-dev xvfb xdotool
             x11-apps x11-utils imagemagick xauth valgrind clang libclang-rt-dev gnuplot-nox
             lintian desktop-file-utils appstream man-db)
  # img2webp, for the README's animation (scripts/screenshot.sh).
  packages+=(webp)
  # The Wayland tests: a headless sway, grim for its screenshots, jq for its
  # window tree, and what the test keyboard is built from.
  packages+=(sway grim jq libwayland-dev libwayland-bin libxkbcommon-dev xkb-data)
  # The test keyboard also speaks KWin's fake input and, through GIO, mutter's
  # remote desktop; kwin-shot takes KWin's screenshots.
  packages+=(plasma-wayland-protocols libglib2.0-dev libglib2.0-bin)
  # The desktop step (tests/wayland/velmora_on_desktops.sh): GNOME Shell and KWin
  # headless, with KWin's Breeze title bars, and the libdecor plugin that draws
  # SDL's own title bars. Only on Debian 12, whose mutter 43 and KWin 5.27 it
  # was made on; on the newer releases the same packages would add some 300 to
  # each chroot of the release check, and the step skips, saying so.
  case $(cat /etc/debian_version) in
    12.*) packages+=(gnome-shell kwin-wayland kwin-style-breeze libdecor-0-plugin-1-cairo dbus-daemon) ;;
  esac
  # The browser test, where Emscripten comes with its libraries built (Debian
  # 12 and 13; unstable's would build them on first use): tests/web, in
  # Chromium and Firefox ESR. A node installed from elsewhere brings its own
  # npm, which Debian's would conflict with.
  case $(cat /etc/debian_version) in
    12.*|13.*) packages+=(emscripten chromium firefox-esr nodejs python3)
               command -v npm >/dev/null || packages+=(npm) ;;
  esac
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
fi
updated=""
if [ -n "${foreign:-}" ]; then
  $sudo dpkg --add-architecture "$foreign"
fi

# Installs whichever of its arguments are not installed yet.
install_missing() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ -n "$sudo" ] && ! command -v sudo >/dev/null; then
    echo "install-deps: run as root or install sudo" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  if [ -z "$updated" ]; then
    $sudo apt-get update -qq
    updated=yes
  fi
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

install_missing "${packages[@]}"

# Where libsdl1.2debian is still the classic library, the tests also run on the
# compatibility layer, which Debian 12 packages beside it; where the layer is
# libsdl1.2debian itself (Debian 13 and later), there is nothing more to install.
if [ "${1:-}" = "--test" ] &&
   [ "$(dpkg-query -W -f='${source:Package}' libsdl1.2debian 2>/dev/null)" != "sdl12-compat" ]; then
  install_missing libsdl1.2-compat
fi
if [ "${1:-}" = "--cross" ] &&
   [ "$(dpkg-query -W -f='${source:Package}' "libsdl1.2debian:$arch" 2>/dev/null)" != "sdl12-compat" ]; then
  install_missing "libsdl1.2-compat:$arch"
fi
