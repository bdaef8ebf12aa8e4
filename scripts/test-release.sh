#!/usr/bin/env bash
# The release check: tries the committed tree on a Debian release as a new user
# of that release would, in a fresh chroot made from Debian's archive.
#   scripts/test-release.sh [--fresh] [--keep] RELEASE
# RELEASE is bookworm (12), trixie (13) or sid (unstable); others that the
# archive serves work the same way. In the chroot it runs `make test` and
# `make package` on a clone of HEAD, installs the release's own velmora .deb
# with apt, starts /usr/games/velmora under Xvfb, quits it with Escape (on
# unstable also as a native Wayland client under a headless sway: see
# tests/wayland), and removes the package again. The last line says whether
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
# Inside the chroot: the steps themselves, run from the clone's own copy of this script.
if [ "${1:-}" = "--inside" ]; then
  release=$2
  step() { echo; echo "== release $release: $*"; }
  fail() { echo; echo "release check $release: FAILED at: $*"; exit 1; }
  version() {
    local v
    v=$(dpkg-query -W -f='${db:Status-Status} ${Version}' "$1" 2>/dev/null || true)
    case $v in installed\ *) echo "${v#installed }" ;; *) echo "not installed" ;; esac
  }
  cd /velmora
  export CI=true DEBIAN_FRONTEND=noninteractive
  unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR

  step "the stack"
  . /etc/os-release
  echo "Debian: ${PRETTY_NAME} ($(cat /etc/debian_version))"
  echo "libsdl1.2debian $(version libsdl1.2debian), from $(dpkg-query -W -f='${source:Package}' libsdl1.2debian)"
  for p in libsdl1.2-compat libsdl2-2.0-0 libsdl3-0 g++ cmake clang; do echo "$p $(version $p)"; done
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
  case $1 in
    --fresh) fresh=yes ;;
    --keep) keep=yes ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "test-release: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
[ $# -eq 1 ] || { echo "usage: scripts/test-release.sh [--fresh] [--keep] RELEASE (see --help)" >&2; exit 2; }
case $1 in
  12) release=bookworm ;;
  13) release=trixie ;;
  unstable) release=sid ;;
  *) release=$1 ;;
esac

[ "$(id -u)" -eq 0 ] || { echo "test-release: needs root (it bootstraps and enters a chroot)" >&2; exit 2; }
for tool in mmdebstrap unshare git tar; do
  command -v "$tool" >/dev/null ||
    { echo "test-release: $tool is missing (apt-get install mmdebstrap util-linux git tar)" >&2; exit 2; }
done

root=$(cd "$(dirname "$0")/.." && pwd)
mirror=${VELMORA_MIRROR:-http://deb.debian.org/debian}
work=${VELMORA_RELEASE_WORK:-/var/tmp/velmora-release}
mkdir -p "$work"
log=$work/$release.log
chroot=$work/$release-root
started=$SECONDS

say() { echo "test-release $release: $*"; }
give_up() { say "FAILED at: $*"; exit 1; }

# The archive's testing and unstable suites here are a frozen snapshot whose
# Release files are past their Valid-Until date; apt refuses them without this.
aptopts=()
case $release in
  sid|unstable|testing|forky) aptopts+=(--aptopt='Acquire::Check-Valid-Until "false"') ;;
esac

key=$( { echo "$release $mirror"; cat "$root/scripts/install-deps.sh"; } | sha256sum | cut -c1-16)
cache=$work/$release-$key.tar
if [ -n "$fresh" ] || [ ! -f "$cache" ]; then
  say "bootstrapping $release from $mirror with the project's packages (log: $log)"
  rm -f "$work/$release"-*.tar
  mmdebstrap --variant=apt --format=tar "${aptopts[@]}" --include=ca-certificates \
      --customize-hook="copy-in $root/scripts/install-deps.sh /tmp" \
      --customize-hook='chroot "$1" bash /tmp/install-deps.sh --test' \
      --customize-hook='chroot "$1" bash /tmp/install-deps.sh --package' \
      --customize-hook='chroot "$1" apt-get clean' \
      --customize-hook='rm -f "$1/tmp/install-deps.sh"' \
      "$release" "$cache.part" "$mirror" >"$log" 2>&1 ||
    { tail -n 30 "$log"; rm -f "$cache.part"; give_up "bootstrapping $release (mmdebstrap, see $log)"; }
  mv "$cache.part" "$cache"
else
  say "using the cached chroot $cache" | tee "$log"
fi

cleanup() {
  if [ -z "$keep" ]; then
    rm -rf "$chroot"
  else
    say "the chroot is left in $chroot"
  fi
}
trap cleanup EXIT
rm -rf "$chroot"
mkdir -p "$chroot"
tar -C "$chroot" -xf "$cache" || give_up "unpacking $cache"
git -C "$root" status --porcelain | grep -q . &&
  say "note: only what is committed is checked; the uncommitted changes are not in the clone"
git clone -q --no-hardlinks "$root" "$chroot/velmora" || give_up "cloning $root"
say "checking $(git -C "$chroot/velmora" log -1 --format='%h %s')"

# A private mount and process namespace: the chroot gets its own /proc, /sys,
# the host's devices, and fresh /tmp and /dev/shm; everything it started ends with it.
status=0
unshare --mount --pid --fork --kill-child bash -c '
  set -e
  chroot=$1; shift
  mount --make-rprivate /
  mount --rbind /dev "$chroot/dev"
  mount -t proc proc "$chroot/proc"
  mount -t sysfs sys "$chroot/sys"
  mount -t tmpfs tmpfs "$chroot/tmp"
  mount -t tmpfs tmpfs "$chroot/dev/shm"
  cp /etc/resolv.conf "$chroot/etc/resolv.conf"
  # The certificate authorities of the host too, for npm (puppeteer-core, for the
  # browser test): where the network reaches the registry through a proxy, the host trusts it.
  cp /etc/ssl/certs/ca-certificates.crt "$chroot/etc/ssl/host-ca-certificates.crt"
  exec chroot "$chroot" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 TERM=dumb NODE_EXTRA_CA_CERTS=/etc/ssl/host-ca-certificates.crt \
      bash /velmora/scripts/test-release.sh --inside "$@"
' _ "$chroot" "$release" 2>&1 | tee -a "$log" || status=$?
minutes=$(( (SECONDS - started + 30) / 60 ))
if [ "$status" -ne 0 ]; then
  say "FAILED after $minutes min (the failing step is named above; the whole log is $log)"
  exit 1
fi
say "passed in $minutes min"
}

main "$@"
