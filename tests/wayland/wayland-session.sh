# A private Wayland desktop for tests, sourced by the scripts beside it: a
# headless sway on the pixman renderer (no GPU, no input devices, no XWayland),
# run as an unprivileged user since sway refuses to run as root.
#   wl_session_start [SCALE [CONFIG]]  start it, with its output at SCALE
#                             (default 1) and CONFIG's lines added to sway's
#                             configuration; HOME is $WL_DIR for sway's commands
#   wl_run CMD...             run a command as a client of it, as its user, with
#                             only the session's variables (no DISPLAY)
#   wl_msg ARGS...            swaymsg to it
#   wl_session_stop           end it and remove its files (also on exit)
#   wl_check WHAT CMD...      count CMD's success, or say WHAT failed
#   wl_poll CMD...            run CMD every tenth of a second until it succeeds,
#                             for up to $WL_TIMEOUT seconds (default 60); a
#                             status of 3 from CMD means it never will
#   wl_summary                print "N passed, N failed"; fails if any failed
# As root the session runs as $VELMORA_WAYLAND_USER (default nobody); as any
# other user it runs as that user. Files the clients write go to $WL_DIR.

WL_DIR=""
wl_sway_pid=""

wl_passed=0
wl_failed=0

wl_fail() { echo "wayland-session: $*" >&2; return 1; }

wl_check() {
  local what=$1; shift
  if "$@"; then
    wl_passed=$((wl_passed + 1))
  else
    echo "FAILED: $what"
    wl_failed=$((wl_failed + 1))
  fi
}

wl_poll() {
  local deadline=$((SECONDS + ${WL_TIMEOUT:-60}))
  while true; do
    "$@"
    case $? in 0) return 0 ;; 3) return 1 ;; esac
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

wl_summary() {
  echo "$wl_passed passed, $wl_failed failed"
  [ "$wl_failed" -eq 0 ]
}

wl_session_start() {
  local scale=${1:-1} extra=${2:-} user i
  command -v sway >/dev/null || { wl_fail "sway is missing (scripts/install-deps.sh --test)"; return 1; }
  WL_DIR=$(mktemp -d /tmp/velmora-wayland.XXXXXX) || return 1
  chmod 700 "$WL_DIR"
  trap wl_session_stop EXIT
  wl_as=()
  if [ "$(id -u)" -eq 0 ]; then
    user=${VELMORA_WAYLAND_USER:-nobody}
    id "$user" >/dev/null 2>&1 || { wl_fail "no user $user to run the compositor as"; return 1; }
    chown "$user:" "$WL_DIR"
    wl_as=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups)
  fi
  # Big enough for a 1024 x 768 window at every scale the tests use.
  cat >"$WL_DIR/config" <<EOF
output HEADLESS-1 resolution 2560x1600 position 0 0 scale $scale
xwayland disable
$extra
EOF
  "${wl_as[@]}" env -i PATH="$PATH" HOME="$WL_DIR" LANG=C.UTF-8 XDG_RUNTIME_DIR="$WL_DIR" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway -c "$WL_DIR/config" >"$WL_DIR/sway.log" 2>&1 &
  wl_sway_pid=$!
  WL_TIMEOUT=30 wl_poll wl_session_ready && return 0
  tail -n 20 "$WL_DIR/sway.log" >&2
  wl_fail "sway did not start (its log is above)"
}

# Succeeds once sway answers on its socket; 3 when sway has ended.
wl_session_ready() {
  WL_SOCK=$(ls "$WL_DIR"/sway-ipc.*.sock 2>/dev/null | head -n 1)
  WAYLAND_DISPLAY=$(cd "$WL_DIR" && ls wayland-[0-9] 2>/dev/null | head -n 1)
  if [ -n "$WL_SOCK" ] && [ -n "$WAYLAND_DISPLAY" ] && wl_msg -t get_outputs >/dev/null 2>&1; then
    return 0
  fi
  kill -0 "$wl_sway_pid" 2>/dev/null || return 3
  return 1
}

wl_run() {
  "${wl_as[@]}" env -i PATH="$PATH" HOME="$WL_DIR" LANG=C.UTF-8 XDG_RUNTIME_DIR="$WL_DIR" \
    WAYLAND_DISPLAY="$WAYLAND_DISPLAY" "$@"
}

wl_msg() { swaymsg -s "$WL_SOCK" "$@"; }

wl_session_stop() {
  if [ -n "$wl_sway_pid" ]; then
    kill "$wl_sway_pid" 2>/dev/null
    wait "$wl_sway_pid" 2>/dev/null
    wl_sway_pid=""
  fi
  [ -n "$WL_DIR" ] && rm -rf "$WL_DIR"
  WL_DIR=""
}
