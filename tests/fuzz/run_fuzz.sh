#!/usr/bin/env bash
# Builds the sprite-set loader's fuzz targets with clang and runs each for a
# bounded time from the seed corpus; fails on the first crash, leak, timeout,
# input that takes too much memory, or undefined behaviour, and prints how many
# inputs ran.
#   run_fuzz.sh SOURCE_DIR WORK_DIR SECONDS_IN_ALL
# With VELMORA_SDL set (the name of the SDL library the run is on, which
# LD_LIBRARY_PATH selects), the work goes into a folder of that name under
# WORK_DIR and the counts are reported under that name.
set -euo pipefail

src=$1
library=${VELMORA_SDL:-}
work=$2${library:+/$library}
seconds=${3:-60}
cxx=${VELMORA_FUZZ_CXX:-clang++}

command -v "$cxx" >/dev/null || { echo "run_fuzz: $cxx not found (scripts/install-deps.sh --test installs clang)"; exit 1; }
command -v pkg-config >/dev/null || { echo "run_fuzz: pkg-config not found"; exit 1; }

mkdir -p "$work"
work=$(cd "$work" && pwd)
cd "$work"

flags=(-std=c++17 -g -O1 -Wall -Wextra -Werror -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -fno-omit-frame-pointer -I"$src/src" -I"$src/common")
read -r -a sdl_cflags <<<"$(pkg-config --cflags sdl)"
read -r -a sdl_libs <<<"$(pkg-config --libs sdl)"

# The engine goes in exactly as the program has it (its sources as the build
# lists them), with its frame table allocation routed through the fuzzer's limit.
engine=()
while read -r file; do
    case $file in
    \#* | "" | *.h) ;;
    *)
        engine+=("engine-${file%.cpp}.o")
        "$cxx" "${flags[@]}" "${sdl_cflags[@]}" -include "$src/tests/fuzz/table_limit.h" \
            -c "$src/src/$file" -o "${engine[-1]}"
        ;;
    esac
done <"$src/src/engine-sources.txt"
"$cxx" "${flags[@]}" "${sdl_cflags[@]}" "$src/tests/fuzz/sprite_loader_fuzz.cpp" "${engine[@]}" \
    "${sdl_libs[@]}" -o fuzz-info
"$cxx" "${flags[@]}" "${sdl_cflags[@]}" -DVELMORA_FUZZ_FRAME "$src/tests/fuzz/sprite_loader_fuzz.cpp" \
    "${engine[@]}" "${sdl_libs[@]}" -o fuzz-frame

export SDL_VIDEODRIVER=dummy
sdl=$(ldd ./fuzz-info | sed -n 's/^[[:space:]]*libSDL-1\.2\.so\.0 => \([^ ]*\).*/\1/p')
echo "fuzz: SDL 1.2 from ${sdl:-?}"
# The targets' scratch sets, also when a run ends in a crash.
scratch=$work/scratch
rm -rf "$scratch" && mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT
export TMPDIR=$scratch
# No allocation is made to fail quietly: the engine's header check keeps SDL's
# readers from allocating for pixels a file can't hold, so an input that makes
# one allocate more than the limits below anyway is a finding.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The limits of a sprite loader: an input that takes more memory or time than
# these counts as a finding. The largest frame the header check lets through
# (4096 x 4096) is 64 MiB in the display format, one allocation within the
# malloc limit; the RSS limit leaves room for the sanitizer's own overhead on
# the target's 1024 x 768 display and its scratch frames.
rss_mb=${VELMORA_FUZZ_RSS_MB:-640}
malloc_mb=${VELMORA_FUZZ_MALLOC_MB:-128}
timeout=${VELMORA_FUZZ_TIMEOUT:-2}
echo "fuzz: limits -rss_limit_mb=$rss_mb -malloc_limit_mb=$malloc_mb -timeout=$timeout"

half=$(( seconds / 2 ))
total=0
source "$src/tests/fuzz/fuzz_target.sh"
for mode in info frame; do
    fuzz_target "fuzz-$mode" "$half" "$src/tests/fuzz/corpus/$mode" -rss_limit_mb="$rss_mb" \
        -malloc_limit_mb="$malloc_mb" -timeout="$timeout" -max_len=4096
done
echo "fuzz${library:+ on $library}: $total inputs in all, no failures"
