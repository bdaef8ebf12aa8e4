#!/usr/bin/env bash
# Runs the real program headless under valgrind's memcheck for a few hundred
# passes, in the project's art or in a copy of it broken in one way, and fails
# unless the program ends with status 0 and memcheck finds no invalid access
# and no use of an uninitialised value.
#   run_memcheck.sh CASE VELMORA QUIT_AFTER_SHIM DATA_DIR WORK_DIR
# Cases: art, missing-files, bad-headers, bad-images, long-lines, empty-background.
# With VELMORA_SDL set (the name of the SDL library the run is on), the work goes
# into a folder of that name under WORK_DIR.
set -euo pipefail

case_name=$1
velmora=$(realpath "$2")
shim=$(realpath "$3")
data=$(realpath "$4")
work=$(realpath -m "$5${VELMORA_SDL:+/$VELMORA_SDL}")
valgrind=${VALGRIND:-valgrind}
passes=${VELMORA_QUIT_AFTER:-300}
here=$(cd "$(dirname "$0")" && pwd)
suppressions=${VELMORA_MEMCHECK_SUPPRESSIONS:-$here/sdl.supp}

command -v "$valgrind" >/dev/null || { echo "run_memcheck: valgrind not found"; exit 1; }
[ -f "$data/bg.bmp" ] || { echo "run_memcheck: no art in $data (build the 'data' target)"; exit 1; }

# A 24-bit BMP of the given size in one colour (blue, green, red bytes).
write_bmp() {
    local file=$1 w=$2 h=$3 colour=${4:-'\x20\x80\xc0'}
    local row=$(( (w * 3 + 3) / 4 * 4 ))
    local size=$(( row * h ))
    le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(( $1 & 255 )) $(( $1 >> 8 & 255 )) \
                    $(( $1 >> 16 & 255 )) $(( $1 >> 24 & 255 )); }
    {
        printf "BM$(le32 $(( 54 + size )))\\x00\\x00\\x00\\x00$(le32 54)"
        printf "$(le32 40)$(le32 "$w")$(le32 "$h")\\x01\\x00\\x18\\x00$(le32 0)$(le32 "$size")"
        printf "$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)"
        local y x pixels=""
        for (( x = 0; x < w; x++ )); do pixels+=$colour; done
        for (( x = w * 3; x < row; x++ )); do pixels+='\x00'; done
        for (( y = 0; y < h; y++ )); do printf "$pixels"; done
    } >"$file"
}

# The first frame image of one of the project's sets, to build broken sets from.
first_frame() {
    local f
    for f in "$data/includes/$1"/*.bmp; do echo "$f"; return; done
    echo "run_memcheck: no frame images in $data/includes/$1" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
run_dir=$work/data

if [ "$case_name" = art ]; then
    run_dir=$data
else
    mkdir -p "$run_dir/includes/vikings" "$run_dir/includes/sun"
    viking=$(first_frame vikings)
    sun=$(first_frame sun)
    cp "$viking" "$run_dir/includes/vikings/good.bmp"
    cp "$sun" "$run_dir/includes/sun/good.bmp"
    case $case_name in
    missing-files)
        # No background, frame lines naming files that are not there, and a
        # name that is a directory.
        printf 'FILES: 3\ngood.bmp 100 255 0 255\nmissing.bmp 100 255 0 255\ngood.bmp 100\n' \
            >"$run_dir/includes/vikings/info"
        mkdir "$run_dir/includes/sun/folder.bmp"
        printf 'FILES: 2\nfolder.bmp 50 255 0 255\ngood.bmp 50\n' >"$run_dir/includes/sun/info"
        ;;
    bad-headers)
        # A count far above the frames given, and an info file with no lines at
        # all; the background is a directory.
        printf 'FILES: 99999999\ngood.bmp 10 255 0 255\n# more to come\n' \
            >"$run_dir/includes/vikings/info"
        : >"$run_dir/includes/sun/info"
        mkdir "$run_dir/bg.bmp"
        ;;
    bad-images)
        # A background cut short; after a good frame, one whose header declares
        # 8969 x 65280 pixels of 384 bits, which SDL loads as a surface it can't
        # draw; a 1 x 1 frame first, one larger than the screen after it, then
        # one cut short.
        head -c 3000 "$data/bg.bmp" >"$run_dir/bg.bmp"
        {
            printf 'BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00'
            printf '\x28\x00\x00\x00\x09\x23\x00\x00\x00\xff\x00\x00\x01\x00\x80\x01'
            printf '\x00\x00\x00\x00\x00\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00'
            printf '\x00\x00\x00\x00\x00\x00\x00\x00'
        } >"$run_dir/includes/vikings/giant.bmp"
        printf 'FILES: 2\ngood.bmp 100 255 0 255\ngiant.bmp 100 255 0 255\n' \
            >"$run_dir/includes/vikings/info"
        write_bmp "$run_dir/includes/sun/dot.bmp" 1 1
        write_bmp "$run_dir/includes/sun/huge.bmp" 1100 800 '\x00\x00\xff'
        head -c 100 "$viking" >"$run_dir/includes/sun/cut.bmp"
        printf 'FILES: 4\ndot.bmp 20 255 0 255\nhuge.bmp 20 1 0 0\ngood.bmp 20 0 0 0\ncut.bmp 20\n' \
            >"$run_dir/includes/sun/info"
        ;;
    long-lines)
        # Lines longer than the loader's buffer, a name longer than the path
        # buffer, name-only lines, comment and CRLF lines, a line that begins
        # with a NUL byte, and a background that is not a BMP at all.
        long=$(printf 'x%.0s' $(seq 300))
        {
            printf 'FILES: 4\r\n# %s\r\n\r\n' "$long"
            printf 'good.bmp 100 255 0 255 %s\n' "$long"
            printf 'good.bmp\n'
            printf '\0 not a line\n'
            printf 'good.bmp 5 0 0 255\n'
        } >"$run_dir/includes/vikings/info"
        printf 'FILES: 2\ngood.bmp 30 255 0 255\n%s.bmp 30\n' "$long" >"$run_dir/includes/sun/info"
        printf 'this is not a picture\n' >"$run_dir/bg.bmp"
        ;;
    empty-background)
        # The project's sets over an empty bg.bmp: nothing is drawn beneath the
        # sprites, so they save and restore the display as the video mode left it.
        rm -rf "$run_dir/includes"
        cp -r "$data/includes" "$run_dir/includes"
        : >"$run_dir/bg.bmp"
        ;;
    *)
        echo "run_memcheck: unknown case $case_name"
        exit 1
        ;;
    esac
fi

log=$work/memcheck.log
out=$work/stdout.txt
err=$work/stderr.txt
status=0
(
    cd "$run_dir"
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy VELMORA_QUIT_AFTER=$passes LD_PRELOAD=$shim \
        "$valgrind" --tool=memcheck --error-exitcode=99 --leak-check=no --track-origins=yes \
        --num-callers=30 --suppressions="$suppressions" --log-file="$log" "$velmora" >"$out" 2>"$err"
) || status=$?

echo "memcheck $case_name: status $status after $passes passes"
grep -E "ERROR SUMMARY|suppressed:" "$log" | sed 's/^==[0-9]*== */  /'
if [ "$status" -ne 0 ] || ! grep -q "ERROR SUMMARY: 0 errors" "$log"; then
    echo "--- program output"
    cat "$out"
    echo "--- memcheck log"
    cat "$log"
    exit 1
fi
grep -q "quit_after: quit after $passes passes" "$err" || {
    echo "memcheck $case_name: the program ended before its $passes passes"
    cat "$out" "$err"
    exit 1
}
