#!/usr/bin/env bash
# velmora-bench as a native Wayland client: runs it under a private headless
# sway (tests/wayland/wayland-session.sh, output at scale 1) with --wayland, so
# that it counts the buffers its window commits as frames shown, beside passes.
#   bench/frames-wayland.sh BENCH [BENCH-ARGS...]
# (default arguments: --only present --startup-runs 0). SDL 1.2 draws on
# Wayland only through the compatibility layer: give its directory in
# VELMORA_BENCH_LIBRARY_PATH (it becomes the bench's LD_LIBRARY_PATH) when the
# linked library is the classic one. The bench's output goes to standard
# output; a --csv file is written in the session's directory and copied to
# the path given. As root the compositor and the bench run as nobody.
set -u
bench=$(readlink -f "$1"); shift
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/wayland/wayland-session.sh"
[ $# -gt 0 ] || set -- --only present --startup-runs 0

# A --csv path is the caller's: the bench, which may run as another user, writes
# into the session's directory instead.
args=() csv=""
while [ $# -gt 0 ]; do
  if [ "$1" = --csv ] && [ $# -gt 1 ]; then csv=$2; args+=(--csv "@DIR@/bench.csv"); shift 2
  else args+=("$1"); shift; fi
done

wl_session_start 1 || exit 1
args=("${args[@]//@DIR@/$WL_DIR}")
wl_run env LD_LIBRARY_PATH="${VELMORA_BENCH_LIBRARY_PATH:-}" "$bench" --wayland "${args[@]}"
status=$?
if [ -n "$csv" ] && [ -f "$WL_DIR/bench.csv" ]; then cp "$WL_DIR/bench.csv" "$csv" || status=1; fi
wl_session_stop
exit $status
