#!/usr/bin/env bash
# Builds velmora-import's reader fuzz targets (PNG, GIF, sheet JSON) with clang
# and runs each for a third of the time from seeds that ImageMagick and this
# script make; fails on the first crash, leak, timeout, undefined behaviour or
# allocation past the limits, and prints how many inputs ran.
#   run_import_fuzz.sh SOURCE_DIR WORK_DIR SECONDS_IN_ALL
# VELMORA_SDL, when set, names the folder under WORK_DIR and the counts.
set -euo pipefail

src=$1
library=${VELMORA_SDL:-}
work=$2${library:+/$library}
seconds=${3:-30}
cxx=${VELMORA_FUZZ_CXX:-clang++}
command -v "$cxx" >/dev/null || { echo "run_import_fuzz: $cxx not found (scripts/install-deps.sh --test installs clang)"; exit 1; }
im=convert
command -v magick >/dev/null && im=magick

mkdir -p "$work"
work=$(cd "$work" && pwd)
cd "$work"

flags=(-std=c++17 -g -O1 -Wall -Wextra -Werror -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -fno-omit-frame-pointer -I"$src/tools/velmora-import")
"$cxx" "${flags[@]}" -c "$src/tools/velmora-import/art_readers.cpp" -o art-readers-fuzz.o
for mode in png gif sheet; do
    "$cxx" "${flags[@]}" "-DVELMORA_FUZZ_${mode^^}" "$src/tests/fuzz/import_readers_fuzz.cpp" \
        art-readers-fuzz.o -lpng -lgif -o "fuzz-import-$mode"
done

# The seeds: a few small pictures of each kind and a sheet in both forms.
rm -rf seeds && mkdir -p seeds/png seeds/gif seeds/sheet
"$im" -size 5x4 xc:none -fill red -draw 'rectangle 1,1 3,2' seeds/png/rgba.png
"$im" -size 6x3 xc:white -fill blue -draw 'point 2,1' -transparent white PNG8:seeds/png/trns.png
"$im" -size 3x3 gradient: -interlace PNG seeds/png/interlaced.png
# A text chunk that claims 1.3 GB right after the header: skipped unread, never allocated.
{ head -c 33 seeds/png/rgba.png; printf '\x52\x00\x00\x00tEXtComment\0a'; } >seeds/png/huge-chunk.png
"$im" -dispose none -delay 5 -size 6x6 xc:none -fill red -draw 'rectangle 0,0 3,3' \
    -dispose background \( -size 2x2 xc:blue -set page +2+2 \) \
    -dispose previous \( -size 3x1 xc:yellow -set page +1+4 \) -set page 6x6 seeds/gif/dispose.gif
"$im" -size 4x4 gradient:red-blue -interlace GIF seeds/gif/interlaced.gif
cat >seeds/sheet/hash.json <<'JSON'
{"frames": {"a": {"frame": {"x": 0, "y": 0, "w": 4, "h": 3}, "rotated": true, "trimmed": true,
  "spriteSourceSize": {"x": 1, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 6, "h": 3}, "duration": 40},
 "b": {"frame": {"x": 10, "y": 8, "w": 6, "h": 3}, "rotated": false}},
 "meta": {"image": "s.png", "frameTags": [{"name": "t", "from": 0, "to": 1, "direction": "pingpong"}]}}
JSON
cat >seeds/sheet/array.json <<'JSON'
{"frames": [{"filename": "a", "frame": {"x": 0, "y": 0, "w": 2, "h": 2}},
 {"filename": "b", "frame": {"x": 2, "y": 0, "w": 2, "h": 2}, "duration": 10}],
 "meta": {"image": "s.png", "frameTags": [{"name": "r", "from": 0, "to": 1, "direction": "reverse"}]}}
JSON
cat >seeds/sheet/multi.json <<'JSON'
{"textures": [{"image": "a.png", "frames": [{"filename": "0", "frame": {"x": 0, "y": 0, "w": 6, "h": 5},
  "spriteSourceSize": {"x": 0, "y": 0, "w": 4, "h": 3}, "sourceSize": {"w": 4, "h": 3}}]},
 {"image": "C:\\art\\b.png", "frames": [{"filename": "1", "frame": {"x": 1, "y": 1, "w": 3, "h": 3},
  "spriteSourceSize": {"x": 1, "y": 0, "w": 4, "h": 4}, "sourceSize": {"w": 4, "h": 4}}]}],
 "meta": {"frameTags": [{"name": "t", "from": 0, "to": 0}, {"name": "t", "from": 1, "to": 1}]}}
JSON

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
share=$(( seconds / 3 ))
[ "$share" -ge 1 ] || share=1
total=0
source "$src/tests/fuzz/fuzz_target.sh"
for mode in png gif sheet; do
    fuzz_target "fuzz-import-$mode" "$share" "seeds/$mode" -rss_limit_mb=512 -malloc_limit_mb=256 -max_len=8192 \
        -timeout=2
done
echo "fuzz-import${library:+ on $library}: $total inputs in all, no failures"
