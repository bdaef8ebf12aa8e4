#!/usr/bin/env bash
# How the demo shows on a 200 % screen: runs a velmora launcher under a headless
# sway whose output is at scale 2, with each of a few launcher options, and
# prints the window's logical size and whether its pixels are sharp. The
# launcher sees SWAYSOCK, as a program started in a sway session does.
#   bench/hidpi-wayland.sh LAUNCHER [CASE...]   (default: none, then --scale 1, --scale 2)
# A CASE is the launcher's arguments, after any NAME=VALUE words for its
# environment: "SDL12COMPAT_HIGHDPI=0 --scale 2".
# Sharp means the 2x screenshot of the window is made of 2 x 2 blocks of one
# colour each (nearest-neighbour); its half-size sample is then compared with
# bg.bmp outside the sprites. Needs what tests/wayland needs (sway, grim, jq,
# ImageMagick); as root it runs the compositor as nobody.
# VELMORA_HIDPI_SWAY_CONFIG adds lines to sway's configuration, for example
# 'for_window [app_id="velmora"] floating enable' for a window sway would tile.
set -u
launcher=$(readlink -f "$1"); shift
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tests/wayland/wayland-session.sh"
[ $# -gt 0 ] || set -- "" "--scale 1" "--scale 2"

window() {
  wl_msg -t get_tree | jq -r 'first(.. | objects | select(.app_id? == "velmora" and .visible == true)
      | "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y) \(.window_rect.width) \(.window_rect.height)")' |
    grep . >"$WL_DIR/window"
}

same() { compare -metric AE "$1" "$2" null: >/dev/null 2>&1; }
# One screenshot of the window at the output's scale, its half-size sample,
# and both that and bg.bmp with the project's sprites blacked out.
look() {
  local rects="rectangle 480,50 623,193 rectangle 150,300 453,427"
  window && read -r x y w h <"$WL_DIR/window"
  wl_run grim -s 2 -g "$x,$y ${w}x$h" "$WL_DIR/shot.png" || return 1
  convert "$WL_DIR/shot.png" -alpha off -sample 50% "$WL_DIR/half.png"
  convert "$WL_DIR/half.png" -sample 200% "$WL_DIR/blocks.png"
  [ -n "$data" ] || return 3
  convert "$WL_DIR/half.png" -fill black -draw "$rects" "$WL_DIR/a.png"
  convert "$data/bg.bmp" -alpha off -fill black -draw "$rects" "$WL_DIR/b.png"
  same "$WL_DIR/a.png" "$WL_DIR/b.png"
}

printf '%-40s %-14s %-28s %s\n' option "logical size" sharp "half-size sample"
for option in "$@"; do
  wl_session_start 2 "${VELMORA_HIDPI_SWAY_CONFIG:-}" || exit 1
  # The demo's data directory, as the launcher will choose it (VELMORA_DATA or the installed one).
  data=$(cd "$(dirname "$launcher")/../share/velmora" 2>/dev/null && pwd)
  # Words of the form NAME=VALUE go to the launcher's environment, the others are its arguments.
  vars=("SWAYSOCK=$WL_SOCK") args=()
  for word in $option; do
    case $word in *=*) vars+=("$word") ;; *) args+=("$word") ;; esac
  done
  wl_run env "${vars[@]}" "$launcher" "${args[@]}" >"$WL_DIR/out" 2>"$WL_DIR/err" &
  pid=$!
  size="no window" sharp="-" sample="-"
  if WL_TIMEOUT=60 wl_poll window; then
    read -r x y w h <"$WL_DIR/window"
    size="${w}x$h"
    # Looks until the window shows the background (for up to a minute), then
    # judges the last screenshot.
    if [ "$w" = 1024 ]; then WL_TIMEOUT=60 wl_poll look; else WL_TIMEOUT=5 wl_poll look; fi
    if [ "$w" = 512 ]; then
      sharp="1:1 (a quarter of the area)"
    elif [ "$w" != 1024 ]; then
      sharp="not judged (size set by sway)"
    elif same "$WL_DIR/shot.png" "$WL_DIR/blocks.png"; then
      sharp=yes
    else
      sharp=no
    fi
    if [ "$w" != 1024 ]; then
      sample="-"
    elif same "$WL_DIR/a.png" "$WL_DIR/b.png"; then
      sample="equals bg.bmp"
    else
      sample="differs from bg.bmp"
    fi
  fi
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  printf '%-40s %-14s %-28s %s\n' "${option:-(none)}" "$size" "$sharp" "$sample"
  wl_session_stop
done
