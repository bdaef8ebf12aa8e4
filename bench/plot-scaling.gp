# Passes per second against sprite count, dirty rectangles and full redraw, one
# colour per sprite size, from the CSV that velmora-bench writes.
#   gnuplot -e "csv='perf.csv'; png='docs/perf-scaling.png'" bench/plot-scaling.gp
if (!exists("csv")) csv = "perf.csv"
if (!exists("png")) png = "docs/perf-scaling.png"

# The median rows of one strategy and size, as "sprites passes/s", by sprite count.
series(strategy, size) = sprintf("< awk -F, '$1 ~ /^scaling / && $2 == \"%s\" && $4 == %d && $8 == \"median\" { print $3, $9 }' '%s' | sort -n", strategy, size, csv)

set terminal pngcairo size 1000,640 font "sans,11"
set output png
set title "velmora-bench: passes per second against sprite count (1024x768 display)"
set xlabel "sprites"
set ylabel "passes per second (median)"
set logscale xy
set format y "10^{%T}"
set xrange [0.8:4000]
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set key outside right top
set pointsize 1.2

plot series("dirty", 32)  using 1:2 with linespoints lw 2 lc rgb "#1b9e77" dt 1 pt 7 title "32x32 dirty", \
     series("full", 32)   using 1:2 with linespoints lw 2 lc rgb "#1b9e77" dt 2 pt 6 title "32x32 full", \
     series("dirty", 96)  using 1:2 with linespoints lw 2 lc rgb "#d95f02" dt 1 pt 5 title "96x96 dirty", \
     series("full", 96)   using 1:2 with linespoints lw 2 lc rgb "#d95f02" dt 2 pt 4 title "96x96 full", \
     series("dirty", 256) using 1:2 with linespoints lw 2 lc rgb "#7570b3" dt 1 pt 9 title "256x256 dirty", \
     series("full", 256)  using 1:2 with linespoints lw 2 lc rgb "#7570b3" dt 2 pt 8 title "256x256 full"
