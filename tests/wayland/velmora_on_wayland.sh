#!/usr/bin/env bash
# The installed velmora as a native Wayland client: run under a private headless
# sway with only WAYLAND_DISPLAY set (no DISPLAY, so no X11 to fall back on),
# driven by wl-keys and seen through grim (screencopy) and sway's window tree.
#   velmora_on_wayland.sh LAUNCHER DATA-DIR WL-KEYS
# It checks the standard output, a 1024 x 768 toplevel with app_id "velmora",
# the picture outside the sprites equal to DATA-DIR/bg.bmp with the pointer over
# it (so the cursor is hidden), Up held lifting the first figure, and status 0
# after Escape and after the window is closed. Standard error belongs to the
# libraries (Mesa, libdecor): only the program's own texts are looked for there.
set -u
launcher=$1
data=$2
keys=$3
here=$(dirname "$(readlink -f "$0")")
. "$here/wayland-session.sh"
command -v grim >/dev/null && command -v jq >/dev/null && command -v compare >/dev/null ||
  { echo "velmora_on_wayland: grim, jq and ImageMagick are needed (scripts/install-deps.sh --test)" >&2; exit 2; }

. "$here/velmora-checks.sh"

# Sets win_x win_y win_w win_h from sway's tree once the toplevel is mapped.
find_window() {
  local r
  r=$(wl_msg -t get_tree | jq -r 'first(.. | objects | select(.app_id? == "velmora" and .visible == true)
        | "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y) \(.window_rect.width) \(.window_rect.height)")')
  [ -n "$r" ] || return 1
  read -r win_x win_y win_w win_h <<<"$r"
}
# grim -c: with the cursor, which the compositor draws in software here.
shot() {  # shot FILE: the window's content, where it is now
  find_window || return 1
  wl_run grim -c -g "$win_x,$win_y ${win_w}x$win_h" "$WL_DIR/shot.png" && cp "$WL_DIR/shot.png" "$1"
}
# The screenshot outside the sprites equals the background.
shows_background() {
  shot "$work/now.png" || return 1
  convert "$work/now.png" -alpha off -fill black -draw "$sprites" "$work/masked.png" &&
    same "$work/masked.png" "$work/bg-masked.png"
}
# The first figure is higher than it started: something other than the
# background shows in its column above its starting place, or nothing but the
# background in the whole column (it has left the window).
lifted() {
  shot "$work/now.png" || return 1
  local part
  for part in "${vik_w}x300+150+0" "${vik_w}x768+150+0"; do
    convert "$work/now.png" -alpha off -crop "$part" +repage "$work/part.png"
    convert "$data/bg.bmp" -alpha off -crop "$part" +repage "$work/bgpart.png"
    if [ "$part" = "${vik_w}x300+150+0" ]; then
      same "$work/part.png" "$work/bgpart.png" || return 0
    else
      same "$work/part.png" "$work/bgpart.png"
    fi
  done
}
# The cursor shows on the desktop beside the window, so that its absence over
# the window means the program hid it.
cursor_shows_beside() {
  local x=$((win_x + win_w + 20)) y=$((win_y + 20))
  wl_run grim -c -g "$((x - 4)),$((y - 4)) 40x40" "$WL_DIR/beside.png" &&
    [ "$(convert "$WL_DIR/beside.png" -format '%k' info:)" -gt 1 ]
}

is_full_size() { [ "$win_w" -eq 1024 ] && [ "$win_h" -eq 768 ]; }

work=$(mktemp -d)
# The background with the sprites' rectangles blacked out, to compare screenshots with.
convert "$data/bg.bmp" -alpha off -fill black -draw "$sprites" "$work/bg-masked.png"
wl_session_start 1 || exit 1
trap 'wl_session_stop; rm -rf "$work"' EXIT

coproc KEYS { wl_run "$keys"; }
send() {
  [ -n "${KEYS[1]:-}" ] && echo "$*" >&"${KEYS[1]}" && read -r -t 30 answer <&"${KEYS[0]}" &&
    [ "$answer" = ok ]
}

# Escape.
start_program
wl_check "a toplevel with app_id velmora appears" wl_poll find_window
echo "the window: ${win_w}x$win_h at $win_x,$win_y"
wl_check "the window is 1024 x 768" is_full_size
wl_check "the pointer moves beside the window" send move $((win_x + win_w + 20)) $((win_y + 20)) 2560 1600
wl_check "the cursor shows beside the window" cursor_shows_beside
wl_check "the pointer moves over the window" send move $((win_x + 900)) $((win_y + 650)) 2560 1600
wl_check "the picture outside the sprites is bg.bmp, with no cursor over it" wl_poll shows_background
[ "$wl_failed" -eq 0 ] || cp "$work/now.png" "${VELMORA_WAYLAND_ARTIFACT:-/tmp/velmora-wayland-last.png}" 2>/dev/null
wl_check "Up pressed" send press Up
wl_check "Up held lifts the first figure" wl_poll lifted
wl_check "Up released" send release Up
wl_check "Escape pressed" send tap Escape
wl_check "Escape ends it with status 0" ends_with_zero
wl_check "standard output is the start text (after Escape)" output_is_exact
wl_check "standard error holds no text of the program's (after Escape)" no_program_text_on_stderr
echo "standard error after Escape (the libraries'):"
sed 's/^/  | /' "$WL_DIR/err"

# Closing the window, as the compositor asks the client to.
start_program
wl_check "the window appears again" wl_poll find_window
wl_check "the scene shows" wl_poll shows_background
wl_check "the compositor closes the window" wl_msg '[app_id="velmora"]' kill >/dev/null
wl_check "closing the window ends it with status 0" ends_with_zero
wl_check "standard output is the start text (after closing)" output_is_exact
wl_check "standard error holds no text of the program's (after closing)" no_program_text_on_stderr

[ -n "${KEYS[1]:-}" ] && exec {KEYS[1]}>&-
wl_summary
