#!/usr/bin/env bash
# The release check: tries the committed tree on a Debian release as a new user
# of that release would, in a fresh chroot made from Debian's archive.
#   scripts/test-release.sh [--fresh] [--keep] RELEASE
# RELEASE is bookworm (12), trixie (13) or sid (unstable); others that the
# archive serves work the same way. In the chroot it reads the archive's
# package lists, runs `make test` and `make package` on a clone of HEAD,
# installs the release's own velmora .deb with apt (with what it recommends,
# as apt does by default), starts /usr/games/velmora under Xvfb, quits it
# with Escape (on unstable also as a native Wayland client under a headless
# sway: see tests/wayland), and removes the package again. The last line says whether
# the release passed, and which step failed.
#
# Needs: root, mmdebstrap, unshare (util-linux) and git. The bootstrapped
# chroot, with the packages scripts/install-deps.sh installs, is cached as a
# tarball under $VELMORA_RELEASE_WORK (default /var/tmp/velmora-release),
# named after the release, the mirror and that script's contents, so that a
# change to the script bootstraps afresh; the project's files themselves are
# never cached: every run clones them anew into a chroot unpacked anew.
#   --fresh  bootstrap afresh even when a cached chroot exists
#   --keep   leave the unpacked chroot behind for a look (it is removed otherwise)
# VELMORA_MIRROR names the archive (default http://deb.debian.org/debian).
set -euo pipefail

# The whole script is one function, read before it runs, so that editing the
# file during a run (which takes a while) can't change what the run does.
main() {
. "$(dirname "$0")/release-lib.sh"
# Inside the chroot: the steps themselves, run from the clone's own copy of this script.
if [ "${1:-}" = "--inside" ]; then
  release=$2
  label=$release
  cd /velmora
  export CI=true DEBIAN_FRONTEND=noninteractive
  unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR

  step "the stack"
  . /etc/os-release
  echo "Debian: ${PRETTY_NAME} ($(cat /etc/debian_version))"
  echo "libsdl1.2debian $(version libsdl1.2debian), from $(dpkg-query -W -f='${source:Package}' libsdl1.2debian)"
  for p in libsdl1.2-compat libsdl2-2.0-0 libsdl3-0 g++ cmake clang; do echo "$p $(version $p)"; done
  # The bootstrap leaves no package lists behind; a user's system has them, and
  # the package test checks the names the package recommends against them.
  step "apt-get update"
  apt-get update -q || fail "apt-get update"
  step "make test"
  make test || fail "make test"
  step "make package"
  make package || fail "make package"
  step "apt install the package"
  deb=$(ls build/velmora_*.deb)
  echo "$deb"
  apt-get install -y -q "./$deb" || fail "apt install $deb"
  step "start /usr/games/velmora under Xvfb and quit it"
  VELMORA_SYSTEM_LAUNCHER=/usr/games/velmora build/tests/install/install_system_test ||
    fail "the installed velmora under Xvfb"
  case $release in
    sid|unstable)
      step "start /usr/games/velmora as a native Wayland client under a headless sway"
      tests/wayland/velmora_on_wayland.sh /usr/games/velmora /usr/share/velmora \
          build/tests/wayland/wl-keys || fail "the installed velmora under Wayland" ;;
  esac
  step "apt remove the package"
  apt-get remove -y -q velmora || fail "apt remove velmora"
  if [ -e /usr/games/velmora ] || [ -e /usr/share/velmora ]; then
    fail "apt remove velmora: files are left behind"
  fi
  echo
  echo "release check $release: passed"
  exit 0
fi

fresh=""
keep=""
while [ $# -gt 0 ]; do
  release_option "$1" && { shift; continue; }
  case $1 in
    -*) echo "test-release: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
[ $# -eq 1 ] || { echo "usage: scripts/test-release.sh [--fresh] [--keep] RELEASE (see --help)" >&2; exit 2; }
release=$(release_codename "$1")
label=$release
release_check_host test-release

root=$(cd "$(dirname "$0")/.." && pwd)
mirror=${VELMORA_MIRROR:-http://deb.debian.org/debian}
work=${VELMORA_RELEASE_WORK:-/var/tmp/velmora-release}
mkdir -p "$work"
log=$work/$release.log
chroot=$work/$release-root
started=$SECONDS

# The archive's testing and unstable suites here are a frozen snapshot whose
# Release files are past their Valid-Until date; apt refuses them without this.
aptopts=()
case $release in
  sid|unstable|testing|forky) aptopts+=(--aptopt='Acquire::Check-Valid-Until "false"') ;;
esac

release_bootstrap "$release" "$root/scripts/install-deps.sh" "$log" "$release" "${aptopts[@]}" \
    --include=ca-certificates \
    --customize-hook="copy-in $root/scripts/install-deps.sh /tmp" \
    --customize-hook='chroot "$1" bash /tmp/install-deps.sh --test' \
    --customize-hook='chroot "$1" bash /tmp/install-deps.sh --package' \
    --customize-hook='chroot "$1" apt-get clean' \
    --customize-hook='rm -f "$1/tmp/install-deps.sh"'
release_unpack "$chroot" "$root"

release_run "$chroot" scripts/test-release.sh "$release" || exit 1
}

main "$@"
