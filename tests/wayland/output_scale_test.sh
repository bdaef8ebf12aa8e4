#!/usr/bin/env bash
# velmora-output-scale under a headless sway (a 2560 x 1600 output) at whole
# and fractional scales: the whole-number scale a client draws at, the
# desktop's own scale and the output's logical size; and without a compositor,
# status 1 and a message.
#   output_scale_test.sh VELMORA-OUTPUT-SCALE WAYLAND-SESSION.SH
set -u
probe=$1
. "$2"

# scale  what it prints (sway rounds a fractional scale up for wl_output, and
# the logical size down to whole units)
table=(
  "1    compositor other|output 1 1.00 2560 1600"
  "2    compositor other|output 2 2.00 1280 800"
  "1.5  compositor other|output 2 1.50 1706 1066"
  "1.75 compositor other|output 2 1.75 1462 914"
  "1.25 compositor other|output 2 1.25 2048 1280"
)
for row in "${table[@]}"; do
  scale=${row%% *}
  wanted=$(echo "${row#* }" | sed 's/^ *//' | tr '|' '\n')
  wl_session_start "$scale" || exit 1
  got=$(wl_run "$probe" 2>&1)
  status=$?
  wl_check "at scale $scale it says \"$wanted\" with status 0, not \"$got\" ($status)" \
    test "$status:$got" = "0:$wanted"
  wl_session_stop
done

err=$(env -u WAYLAND_DISPLAY XDG_RUNTIME_DIR=/nonexistent "$probe" 2>&1 >/dev/null)
wl_check "without a compositor status 1 and a message, not: $err" \
  test $? -eq 1 -a "$err" = "velmora-output-scale: no Wayland compositor to ask (WAYLAND_DISPLAY)"
wl_summary
