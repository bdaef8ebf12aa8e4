# What the demo shows and prints, for the scripts beside it that run it on a
# desktop; sourced after wayland-session.sh, with $launcher and $data set.
#   start_program       start $launcher as a client of the session (passing
#                       LD_LIBRARY_PATH on, which picks the SDL library)
#   ends_with_zero      poll until it has ended; fails unless with status 0
#   output_is_exact     its standard output is the start text
#   no_program_text_on_stderr
#   same A B            whether two pictures are equal
#   $sprites            ImageMagick rectangles over the sprites' first places

start_text=$'Initializing SDL...\nAudio & Video initialized correctly\n\nSelect desired screen resolution:\n 1) 640 x 480\n 2) 800 x 600\n 3) 1024 x 768'
program_texts=("Initializing SDL" "Audio & Video" "Could not initialize SDL" "Select desired"
               "640 x 480" "800 x 600" "1024 x 768" "ERROR:" "Quiting")

# The size of a set's first frame, which is the size of the rectangle its sprites redraw.
first_frame_size() {
  local frame
  frame=$(awk 'NR > 1 && !/^#/ && NF { print $1; exit }' "$data/includes/$1/info")
  identify -format '%w %h' "$data/includes/$1/$frame"
}
read -r sun_w sun_h < <(first_frame_size sun)
read -r vik_w vik_h < <(first_frame_size vikings)
sprites="rectangle 480,50 $((480 + sun_w - 1)),$((50 + sun_h - 1))
rectangle 150,300 $((150 + vik_w - 1)),$((300 + vik_h - 1))
rectangle 350,300 $((350 + vik_w - 1)),$((300 + vik_h - 1))"

program_pid=""
start_program() {
  wl_run ${LD_LIBRARY_PATH:+env "LD_LIBRARY_PATH=$LD_LIBRARY_PATH"} "$launcher" \
    >"$WL_DIR/out" 2>"$WL_DIR/err" &
  program_pid=$!
}
# Whether two pictures are equal, by compare's status (its printed figures
# differ between ImageMagick 6 and 7).
same() { compare -metric AE "$1" "$2" null: >/dev/null 2>&1; }
ended() { ! kill -0 "$program_pid" 2>/dev/null; }
ends_with_zero() {
  wl_poll ended || { kill "$program_pid"; return 1; }
  wait "$program_pid"
  local status=$?
  [ "$status" -eq 0 ] || echo "velmora ended with $status"
  [ "$status" -eq 0 ]
}
output_is_exact() { [ "$(cat "$WL_DIR/out")" = "$start_text" ] || { echo "standard output:"; cat "$WL_DIR/out"; return 1; }; }
no_program_text_on_stderr() {
  local t
  for t in "${program_texts[@]}"; do
    grep -qF -- "$t" "$WL_DIR/err" && { echo "\"$t\" on standard error"; return 1; }
  done
  return 0
}
