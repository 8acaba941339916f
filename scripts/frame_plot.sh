#!/usr/bin/env bash
# Measures frames a second against the height image's side (the sample's
# landscape, made larger), the whole mesh drawn every frame against the
# viewer's route (only the cells that can reach the window), at the start
# view and at the worst view (yaw 180, pitch 75, looking down the rows), with
# build/bench/frame_bench under a private X server; writes the figures to
# docs/frame_rates.dat and plots them with gnuplot into docs/frame_rates.png.
# Rows of other sides already in the file are kept, so a side can be measured
# again on its own (the largest needs nearly all of this machine's memory).
# Sides whose mesh the memory here cannot hold are left out.
#
#   scripts/frame_plot.sh [SIDE]...     (default 512 1024 2048 3160 4470 6320 9800)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" gnuplot-nox
"$root/scripts/build.sh" >/dev/null
[ $# -eq 0 ] && set -- 512 1024 2048 3160 4470 6320 9800
data="$root/docs/frame_rates.dat"

. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
sides=$(IFS=,; echo "$*")
"$root/build/bench/frame_bench" "$root/data/hmap.bmp" 0 --sides "$sides" --views 0:0,180:75 --table "$data.new"
touch "$data"
awk -v sides=",$sides," 'index(sides, "," $1 ",") == 0' "$data" | cat - "$data.new" | sort -n -k1,1 -k2,2 >"$data.all"
mv "$data.all" "$data"
rm -f "$data.new"

# Columns: side yaw pitch whole_fps viewer_fps search_ms cells runs.
start="< awk '\$2 == 0' $data" worst="< awk '\$2 == 180' $data"
gnuplot <<PLOT
set terminal pngcairo size 860,560 font "DejaVu Sans,11"
set output "$root/docs/frame_rates.png"
set title "Frames a second: Mesa's software renderer, 2 cores, Xvfb, an 800 x 600 window"
set xlabel "height image side, pixels (the sample's landscape)"
set ylabel "frames a second"
set logscale xy
set xrange [400:12500]
set grid
set key bottom left box opaque
set format y "%g"
plot "$start" using 1:5 with linespoints lw 2 pt 7 lc rgb "#1b9e77" title "viewer, start view", \\
     "$start" using 1:4 with linespoints lw 2 pt 7 dt 2 lc rgb "#1b9e77" title "whole mesh, start view", \\
     "$worst" using 1:5 with linespoints lw 2 pt 5 lc rgb "#d95f02" title "viewer, yaw 180 pitch 75 (the worst)", \\
     "$worst" using 1:4 with linespoints lw 2 pt 5 dt 2 lc rgb "#d95f02" title "whole mesh, yaw 180 pitch 75"
PLOT
echo "plot: $root/docs/frame_rates.png (figures in $data)"
