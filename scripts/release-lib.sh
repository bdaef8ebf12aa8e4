# Sourced by the release checks (scripts/test-release.sh, scripts/test-cross.sh):
# what they share to make a Debian chroot from the archive, cache it, enter it
# with a clone of the committed tree, and shape their logs alike.
# The caller sets `label` (what its log lines name: "trixie", "bookworm s390x")
# and, outside the chroot, `work`, `mirror`, `fresh` and `keep` (see its --help).

# Inside the chroot: a step's heading; the failing step, last, and out.
step() { echo; echo "== release $label: $*"; }
fail() { echo; echo "release check $label: FAILED at: $*"; exit 1; }
# A package's installed version, or "not installed".
version() {
  local v
  v=$(dpkg-query -W -f='${db:Status-Status} ${Version}' "$1" 2>/dev/null || true)
  case $v in installed\ *) echo "${v#installed }" ;; *) echo "not installed" ;; esac
}

# Outside: lines of the check itself, and its end when a step there fails.
say() { echo "$(basename "$0" .sh) $label: $*"; }
give_up() { say "FAILED at: $*"; exit 1; }

# The codename of a release as the user may name it (12, 13, unstable).
release_codename() {
  case $1 in
    12) echo bookworm ;;
    13) echo trixie ;;
    unstable) echo sid ;;
    *) echo "$1" ;;
  esac
}

# Stops unless this is root with the tools the checks need.
release_check_host() {
  [ "$(id -u)" -eq 0 ] || { echo "$1: needs root (it bootstraps and enters a chroot)" >&2; exit 2; }
  local tool
  for tool in mmdebstrap unshare git tar "${@:2}"; do
    command -v "$tool" >/dev/null ||
      { echo "$1: $tool is missing (scripts/install-deps.sh --release installs it)" >&2; exit 2; }
  done
}

# The chroot as a cached tarball: bootstraps it with mmdebstrap unless a tarball
# for the same key is there (or $fresh is set), and sets `cache` to its path.
# The key is NAME, the mirror and whatever KEYFILES hold, so a change to them
# bootstraps afresh; older tarballs of NAME are removed.
#   release_bootstrap NAME "KEYFILES..." LOG SUITE MMDEBSTRAP_OPTIONS...
release_bootstrap() {
  local name=$1 keyfiles=$2 log=$3 suite=$4 key
  shift 4
  # shellcheck disable=SC2086  # the key files are a list
  key=$( { echo "$name $mirror"; cat $keyfiles; } | sha256sum | cut -c1-16)
  cache=$work/$name-$key.tar
  if [ -n "$fresh" ] || [ ! -f "$cache" ]; then
    say "bootstrapping $name from $mirror with the project's packages (log: $log)"
    rm -f "$work/$name"-????????????????.tar
    mmdebstrap --variant=apt --format=tar "$@" "$suite" "$cache.part" "$mirror" >"$log" 2>&1 ||
      { tail -n 30 "$log"; rm -f "$cache.part"; give_up "bootstrapping $name (mmdebstrap, see $log)"; }
    mv "$cache.part" "$cache"
  else
    say "using the cached chroot $cache" | tee "$log"
  fi
}

# Unpacks the cached chroot anew into CHROOT and clones the committed tree of
# ROOT into CHROOT/velmora; the chroot goes again when the script exits, unless
# $keep is set.
#   release_unpack CHROOT ROOT
release_unpack() {
  local dir=$1 root=$2
  # shellcheck disable=SC2064  # the folder is fixed now
  trap "release_cleanup '$dir'" EXIT
  rm -rf "$dir"
  mkdir -p "$dir"
  tar -C "$dir" -xf "$cache" || give_up "unpacking $cache"
  git -C "$root" status --porcelain | grep -q . &&
    say "note: only what is committed is checked; the uncommitted changes are not in the clone"
  git clone -q --no-hardlinks "$root" "$dir/velmora" || give_up "cloning $root"
  say "checking $(git -C "$dir/velmora" log -1 --format='%h %s')"
}

release_cleanup() {
  if [ -z "$keep" ]; then
    rm -rf "$1"
  else
    say "the chroot is left in $1"
  fi
}

# Runs the clone's own copy of SCRIPT with ARGS in the chroot, in a private
# mount and process namespace: its own /proc, /sys, the host's devices, and
# fresh /tmp and /dev/shm; everything it started ends with it.
#   release_enter CHROOT SCRIPT ARGS...
release_enter() {
  unshare --mount --pid --fork --kill-child bash -c '
    set -e
    chroot=$1; script=$2; shift 2
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
        bash "/velmora/$script" --inside "$@"
  ' _ "$@"
}

# Runs a check's own script inside the chroot, its output also in the log, and
# says how it ended and after how long (since $started); fails when it did.
#   release_run CHROOT SCRIPT ARGS...
release_run() {
  local status=0 minutes
  release_enter "$@" 2>&1 | tee -a "$log" || status=$?
  minutes=$(( (SECONDS - started + 30) / 60 ))
  if [ "$status" -ne 0 ]; then
    say "FAILED after $minutes min (the failing step is named above; the whole log is $log)"
    return 1
  fi
  say "passed in $minutes min"
}

# The options every check takes: --fresh, --keep and --help. False for any other.
#   release_option OPTION
release_option() {
  case $1 in
    --fresh) fresh=yes ;;
    --keep) keep=yes ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) return 1 ;;
  esac
}
