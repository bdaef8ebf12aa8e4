#!/usr/bin/env bash
# The release check on another architecture: cross-builds the committed tree
# for ARCH (a Debian architecture; s390x, big-endian, by default) in a fresh
# chroot of RELEASE (bookworm by default) that has this machine's build tools
# and ARCH's libraries, and runs what it built under qemu-user, through the
# kernel's binfmt_misc:
#   scripts/test-cross.sh [--fresh] [--keep] [--reference BUILD] [--corpus DIR] [ARCH [RELEASE]]
# The unit tests (plainly built) on every SDL 1.2 library the release has,
# with their time limits stretched for the emulator; then velmora-import and
# velmora-check over a folder of art (scripts/corpus-run.py --record), the
# demo's art and a recorded run of the program (tools/recorder), each compared
# byte for byte with what this machine's own build writes. The last line says
# whether it passed, and which step failed.
#
# Needs: root, mmdebstrap, unshare, git, and qemu-user-static with
# binfmt-support (scripts/install-deps.sh --release). The chroot is cached as
# in scripts/test-release.sh, named after the release, the architecture, the
# mirror and scripts/install-deps.sh; the project is cloned anew every run.
#   --fresh      bootstrap afresh even when a cached chroot exists
#   --keep       leave the unpacked chroot behind for a look
#   --reference BUILD  this machine's build folder to compare with (it builds
#                what it needs there); by default the committed tree is built
#                afresh under $VELMORA_RELEASE_WORK (default /var/tmp/velmora-release)
#   --corpus DIR the art for the tools (default: ../shared/corpus beside the
#                project, or $VELMORA_CORPUS); without it that step is skipped
# VELMORA_MIRROR names the archive (default http://deb.debian.org/debian).
set -euo pipefail

# The whole script is one function, read before it runs (see test-release.sh).
main() {
. "$(dirname "$0")/release-lib.sh"

# What a build writes that is compared between machines, into OUT (a folder):
# the demo's art, a recording of 100 passes of the program with the recording
# clock (Up held for half of them) and, given a folder of art, the tools' run
# over it. Each as SHA-256 lists and messages, free of the folders' names.
#   record_outputs BUILD OUT [CORPUS]
record_outputs() {
  local build out=$2 corpus=${3:-} frames
  build=$(realpath "$1")
  mkdir -p "$out"
  (cd "$build/data" && find . -type f | sort | xargs sha256sum) >"$out/art.sha256" || return 1
  frames=$(mktemp -d)
  (cd "$build/data" && env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy VELMORA_RECORD_DIR="$frames" \
      VELMORA_RECORD_PASSES=100 VELMORA_RECORD_STEP=40 VELMORA_RECORD_UP=25-74 \
      LD_PRELOAD="$build/tools/recorder/libvelmora_recording_clock.so" timeout 900 ../velmora) \
    >"$out/record.log" 2>&1 || { cat "$out/record.log"; rm -rf "$frames"; return 1; }
  (cd "$frames" && find . -type f | sort | xargs sha256sum) >"$out/record.sha256"
  rm -rf "$frames"
  [ "$(wc -l <"$out/record.sha256")" -eq 100 ] ||
    { echo "the recording has $(wc -l <"$out/record.sha256") pictures, not 100"; return 1; }
  if [ -n "$corpus" ]; then
    python3 "$(dirname "$0")/corpus-run.py" --bin "$build/tools" --record "$out/corpus.record" "$corpus" \
      >"$out/corpus.log" || { cat "$out/corpus.log"; return 1; }
    tail -n 2 "$out/corpus.log"
  fi
}

# The targets each build makes for the comparison.
compared_targets=(velmora velmora_recording_clock velmora-import velmora-check data)

# Inside the chroot: the steps themselves, run from the clone's own copy of this script.
if [ "${1:-}" = "--inside" ]; then
  arch=$2 release=$3 qemu=$4
  label="$release $arch"
  cd /velmora
  export CI=true DEBIAN_FRONTEND=noninteractive
  unset DISPLAY WAYLAND_DISPLAY XDG_RUNTIME_DIR
  triplet=$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)
  emulator=/usr/bin/qemu-$qemu-static

  step "the stack"
  . /etc/os-release
  echo "Debian: ${PRETTY_NAME} ($(cat /etc/debian_version)); built on $(dpkg --print-architecture) for $arch"
  echo "$($triplet-g++ --version | head -n 1)"
  echo "qemu-user-static $(version qemu-user-static); binfmt_misc runs $arch's C library: $(
      "/usr/lib/$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH)/libc.so.6" 2>&1 | head -n 1)"
  echo "libsdl1.2debian:$arch $(version "libsdl1.2debian:$arch"), from $(
      dpkg-query -W -f='${source:Package}' "libsdl1.2debian:$arch")"
  for p in "libsdl1.2-compat:$arch" "libsdl2-2.0-0:$arch" cmake; do echo "$p $(version "$p")"; done

  step "configure for $arch, with $emulator running what is built"
  cmake -S . -B "build-$arch" -DBUILD_TESTING=ON -DVELMORA_SANITIZED_TESTS=OFF \
      -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$arch" \
      -DCMAKE_CXX_COMPILER="$triplet-g++" -DPKG_CONFIG_EXECUTABLE="/usr/bin/$triplet-pkg-config" \
      -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" || fail "configure for $arch"
  echo
  echo "The sanitized flavour of the tests is skipped on $arch: GCC 12 leaves .LASANPC references"
  echo "into discarded sections when it links some of them for s390x, and under qemu-user"
  echo "AddressSanitizer can't map its shadow memory."

  step "build the unit tests, the tools and the program for $arch"
  nice cmake --build "build-$arch" -j 2 --target unit-tests "${compared_targets[@]}" ||
    fail "build for $arch"

  step "the unit tests under qemu-$qemu"
  echo "artgen_test is left out under qemu (it draws the whole art a dozen times, 5 CPU-minutes"
  echo "there); the art itself is compared byte for byte with the reference build's below."
  (cd "build-$arch" && ctest --output-on-failure -j 2 -E '^artgen_test') || fail "the unit tests under qemu-$qemu"

  step "what the $arch build writes, compared with the reference build's"
  corpus=""
  if [ -d /reference/corpus ]; then
    corpus=/reference/corpus
  else
    echo "No folder of art was given: the tools' run over it is skipped."
  fi
  record_outputs "/velmora/build-$arch" /tmp/outputs "$corpus" || fail "recording what the $arch build writes"
  for f in art.sha256 record.sha256 corpus.record; do
    [ -f "/reference/outputs/$f" ] || [ "$f" = corpus.record ] ||
      fail "comparing with the reference build: it has no $f"
    [ -f "/reference/outputs/$f" ] || continue
    if cmp -s "/reference/outputs/$f" "/tmp/outputs/$f"; then
      echo "$f: the same as the reference build's ($(wc -l <"/tmp/outputs/$f") lines)"
    else
      diff -u "/reference/outputs/$f" "/tmp/outputs/$f" | head -n 40
      fail "comparing with the reference build: $f differs"
    fi
  done
  echo
  echo "release check $label: passed"
  exit 0
fi

fresh=""
keep=""
reference=""
corpus=${VELMORA_CORPUS:+$(realpath -m "$VELMORA_CORPUS")}
while [ $# -gt 0 ]; do
  release_option "$1" && { shift; continue; }
  case $1 in
    --reference) reference=$(realpath -m "${2:?--reference needs a build folder}"); shift ;;
    --corpus) corpus=$(realpath -m "${2:?--corpus needs a folder}"); shift ;;
    -*) echo "test-cross: unknown option $1 (see --help)" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
[ $# -le 2 ] || { echo "usage: scripts/test-cross.sh [options] [ARCH [RELEASE]] (see --help)" >&2; exit 2; }
arch=${1:-s390x}
release=$(release_codename "${2:-bookworm}")
label="$release $arch"
# qemu's name for the architecture.
case $arch in
  arm64) qemu=aarch64 ;;
  armhf|armel) qemu=arm ;;
  ppc64el) qemu=ppc64le ;;
  i386) qemu=i386 ;;
  *) qemu=$arch ;;
esac
release_check_host test-cross update-binfmts python3 cmake "qemu-$qemu-static"

root=$(cd "$(dirname "$0")/.." && pwd)
mirror=${VELMORA_MIRROR:-http://deb.debian.org/debian}
work=${VELMORA_RELEASE_WORK:-/var/tmp/velmora-release}
mkdir -p "$work"
log=$work/$release-$arch.log
chroot=$work/$release-$arch-root
started=$SECONDS
if [ -z "$corpus" ] && [ -d "$root/../shared/corpus" ]; then
  corpus=$(cd "$root/../shared/corpus" && pwd)
fi

# qemu through binfmt_misc, registered with the F flag: the kernel opens the
# emulator once, so that it runs ARCH's programs inside the chroot too.
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
  mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || give_up "mounting binfmt_misc"
fi
update-binfmts --enable "qemu-$qemu" >/dev/null 2>&1 || true
grep -q '^flags:.*F' "/proc/sys/fs/binfmt_misc/qemu-$qemu" 2>/dev/null ||
  give_up "registering qemu-$qemu with binfmt_misc, with the F flag (update-binfmts --enable qemu-$qemu)"

# The archive here is a frozen snapshot whose Release files are past their
# Valid-Until date. The mirror's suite alone: Debian 12's security suite no
# longer carries every architecture, and apt can't match Multi-Arch: same
# versions across architectures where it has one and not the other.
release_bootstrap "$release-$arch" "$root/scripts/install-deps.sh" "$log" "$release" \
    --aptopt='Acquire::Check-Valid-Until "false"' --architectures="amd64,$arch" \
    --include=ca-certificates \
    --customize-hook="copy-in $root/scripts/install-deps.sh /tmp" \
    --customize-hook="chroot \"\$1\" bash /tmp/install-deps.sh --cross $arch" \
    --customize-hook='chroot "$1" apt-get clean' \
    --customize-hook='rm -f "$1/tmp/install-deps.sh"'

# This machine's build of the same tree, and what it writes.
if [ -z "$reference" ]; then
  reference=$work/reference-build
  rm -rf "$reference" "$work/reference-src"
  git clone -q --no-hardlinks "$root" "$work/reference-src" || give_up "cloning $root for the reference build"
  cmake -S "$work/reference-src" -B "$reference" >"$work/reference.log" 2>&1 ||
    { tail -n 20 "$work/reference.log"; give_up "configuring the reference build"; }
fi
say "the reference: this machine's build in $reference"
nice cmake --build "$reference" -j 2 --target "${compared_targets[@]}" >>"$work/reference.log" 2>&1 ||
  { tail -n 20 "$work/reference.log"; give_up "building the reference"; }
rm -rf "$work/reference-outputs"
record_outputs "$reference" "$work/reference-outputs" "$corpus" || give_up "recording what the reference writes"

release_unpack "$chroot" "$root"
mkdir -p "$chroot/reference"
cp -r "$work/reference-outputs" "$chroot/reference/outputs"
[ -z "$corpus" ] || cp -r "$corpus" "$chroot/reference/corpus"

release_run "$chroot" scripts/test-cross.sh "$arch" "$release" "$qemu" || exit 1
}

main "$@"
