#!/usr/bin/env bash
# wl-keys under a headless sway: every key of the table reaches the compositor
# through the keymap (sway runs a binding for it), a held key stays down until
# it is released, and bad commands and a missing compositor end with the
# documented statuses and a message.
#   wl_keys_test.sh WL-KEYS WAYLAND-SESSION.SH
set -u
keys=$1
. "$2"

check() { wl_check "$@"; }
# Polls for a file that a binding makes.
appears() { wl_poll test -e "$WL_DIR/$1"; }
status_is() {  # status_is WANTED COMMAND...
  local wanted=$1; shift
  "$@" 2>"$WL_DIR/err"
  [ $? -eq "$wanted" ]
}
said() { grep -q -- "$1" "$WL_DIR/err"; }

# One binding per key: letters, digits, symbols, function, cursor and editing keys.
table=(a z 5 minus space Return Escape Up Down F1 F12 Tab BackSpace Home)
config=""
for k in "${table[@]}"; do
  config+="bindsym $k exec touch ~/pressed-$k"$'\n'
done
config+=$'bindsym --release Left exec touch ~/released-Left\n'
wl_session_start 1 "$config" || exit 1

for k in "${table[@]}"; do
  wl_run "$keys" tap "$k" || echo "wl-keys tap $k: status $?"
  check "tap $k reaches the compositor" appears "pressed-$k"
done

# Commands on standard input, each answered once handled: Left held is not
# released until it is told to be.
coproc KEYS { wl_run "$keys"; }
echo "press Left" >&"${KEYS[1]}"
read -r -t 30 answer <&"${KEYS[0]}"
check "press is answered ok" [ "${answer:-}" = ok ]
check "a pressed key is not released" [ ! -e "$WL_DIR/released-Left" ]
echo "release Left" >&"${KEYS[1]}"
read -r -t 30 answer <&"${KEYS[0]}"
check "release is answered ok" [ "${answer:-}" = ok ]
check "release lets the key go" appears released-Left
echo "tap NoSuchKey" >&"${KEYS[1]}"
read -r -t 30 answer <&"${KEYS[0]}"
check "an unknown key on standard input is answered failed" [ "${answer:-}" = failed ]
echo "tap a" >&"${KEYS[1]}"
read -r -t 30 answer <&"${KEYS[0]}"
check "and the next command still runs" [ "${answer:-}" = ok ]
pid=${KEYS_PID:-}
[ -n "${KEYS[1]:-}" ] && exec {KEYS[1]}>&-
status=1
[ -n "$pid" ] && { wait "$pid"; status=$?; }
check "end of input ends it with 0" [ "$status" -eq 0 ]

check "an unknown key: status 2" status_is 2 wl_run "$keys" tap NoSuchKey
check "an unknown key is named" said '"NoSuchKey"'
check "a keysym the US keymap lacks: status 2" status_is 2 wl_run "$keys" tap eacute
check "an unknown command: status 2" status_is 2 wl_run "$keys" hold Up
check "an odd argument count: status 2" status_is 2 wl_run "$keys" tap
check "no compositor: status 1" status_is 1 wl_run env WAYLAND_DISPLAY=no-such-display "$keys" tap a
check "no compositor is said" said "can't connect"

wl_summary
