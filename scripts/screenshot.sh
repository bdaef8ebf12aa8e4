#!/usr/bin/env bash
# Takes docs/screenshot.png and records docs/screenshot.webp: runs the demo in a
# private X server and captures its window, then runs it again on a recording
# clock and writes four seconds of it as an animated WebP.
#   scripts/screenshot.sh [BUILD_DIR] [OUTPUT] [ANIMATION]
#   (defaults: build, docs/screenshot.png, docs/screenshot.webp)
# Builds the program and its art first. Needs Xvfb, xdotool, xwd, ImageMagick
# and img2webp.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build}")
output=$(realpath -m "${2:-$root/docs/screenshot.png}")
animation=$(realpath -m "${3:-$root/docs/screenshot.webp}")
timeout=60

# ImageMagick 7 is `magick`, ImageMagick 6 `convert`.
magick=convert
command -v magick >/dev/null && magick=magick
for tool in cmake Xvfb xdotool xwd "$magick" img2webp; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (scripts/install-deps.sh --test installs it)" >&2; exit 1; }
done

# A new build directory leaves the tests out, as `make run` does: only the
# program and its art are needed here.
configure=()
[ -f "$build/CMakeCache.txt" ] || configure=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$build" "${configure[@]}" >/dev/null
cmake --build "$build" -j 2 --target velmora data velmora_recording_clock >/dev/null

work=$(mktemp -d)
xvfb_pid=""
demo_pid=""
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Polls `$@` every 0.2 s until it succeeds or $timeout seconds have passed.
wait_for() {
  local what=$1
  shift
  local deadline=$((SECONDS + timeout))
  until "$@"; do
    if [ $SECONDS -ge $deadline ]; then
      echo "screenshot: gave up waiting for $what after $timeout s" >&2
      return 1
    fi
    sleep 0.2
  done
}

# A private X server exactly the window's size, so the window fills the root.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for "Xvfb to start" test -s "$work/display"
export DISPLAY=":$(head -n 1 "$work/display")"
wait_for "the X server to answer" xdpyinfo >/dev/null 2>&1

(cd "$build/data" && exec env SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=dummy ../velmora) >"$work/demo.log" 2>&1 &
demo_pid=$!

capture() {
  xwd -root -silent >"$work/screen.xwd" 2>/dev/null
}

pixel() {
  "$magick" "$1" -format "%[pixel:p{$2,$3}]" info: 2>/dev/null
}

# The picture is up when the background shows in a corner and the sun and both
# figures are drawn over it at their places.
bg_corner=$(pixel "$build/data/bg.bmp" 8 8)
bg_sun=$(pixel "$build/data/bg.bmp" 552 122)
bg_figure1=$(pixel "$build/data/bg.bmp" 202 380)
bg_figure2=$(pixel "$build/data/bg.bmp" 402 380)
drawn() {
  kill -0 "$demo_pid" 2>/dev/null || { echo "screenshot: the demo ended early:" >&2; cat "$work/demo.log" >&2; exit 1; }
  capture || return 1
  [ "$(pixel "$work/screen.xwd" 8 8)" = "$bg_corner" ] &&
    [ "$(pixel "$work/screen.xwd" 552 122)" != "$bg_sun" ] &&
    [ "$(pixel "$work/screen.xwd" 202 380)" != "$bg_figure1" ] &&
    [ "$(pixel "$work/screen.xwd" 402 380)" != "$bg_figure2" ]
}
wait_for "the demo's picture" drawn

mkdir -p "$(dirname "$output")"
"$magick" "$work/screen.xwd" -crop 1024x768+0+0 +repage -strip -define png:compression-level=9 "$output"

# Escape ends the demo; the pointer over the window gives it the keyboard.
xdotool mousemove 512 384 key Escape
finished() { ! kill -0 "$demo_pid" 2>/dev/null; }
wait_for "the demo to quit" finished
status=0
wait "$demo_pid" || status=$?
demo_pid=""
if [ "$status" -ne 0 ]; then
  echo "screenshot: the demo ended with status $status" >&2
  exit 1
fi
echo "wrote $output ($(stat -c %s "$output") bytes)"

# The animation: the program once more, on SDL's headless driver, with the
# recording clock preloaded (tools/recorder): its clock moves 40 ms per pass,
# so 100 passes are four seconds at 25 pictures a second, each picture the
# display surface as the program presents it. Up is held from the second
# second to the end of the third, so the first figure rises 50 pixels.
passes=100
step=40
frames="$work/frames"
mkdir -p "$frames"
(cd "$build/data" && exec env SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy VELMORA_RECORD_DIR="$frames" \
   VELMORA_RECORD_PASSES=$passes VELMORA_RECORD_STEP=$step VELMORA_RECORD_UP=25-74 \
   LD_PRELOAD="$build/tools/recorder/libvelmora_recording_clock.so" timeout "$timeout" ../velmora) \
  >"$work/record.log" 2>&1 || { echo "screenshot: the recording run failed:" >&2; cat "$work/record.log" >&2; exit 1; }
recorded=$(find "$frames" -name 'pass-*.bmp' | wc -l)
if [ "$recorded" -ne "$passes" ]; then
  echo "screenshot: the recording run saved $recorded pictures, not $passes" >&2
  exit 1
fi
# img2webp reads PPM, which ImageMagick writes fast; the WebP is lossless and
# stores of each picture only what changed since the one before.
find "$frames" -name 'pass-*.bmp' -print0 | xargs -0 -P 2 -I{} sh -c '"$1" "$2" "${2%.bmp}.ppm" && rm "$2"' sh "$magick" {}
mkdir -p "$(dirname "$animation")"
img2webp -loop 0 -lossless -d "$step" "$frames"/pass-*.ppm -o "$animation" >"$work/img2webp.log" 2>&1 ||
  { echo "screenshot: img2webp failed:" >&2; cat "$work/img2webp.log" >&2; exit 1; }
echo "wrote $animation ($(stat -c %s "$animation") bytes, $passes pictures of ${step} ms)"
