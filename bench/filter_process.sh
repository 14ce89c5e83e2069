#!/usr/bin/env bash
# Runs the whole filter process on one 4x6 page at 300 dpi and one page at
# 600x600 dpi (ICC profile, sharpness 3, border, colour adjustment) five times
# each under /usr/bin/time -v and prints the medians of wall time, CPU time
# and peak memory. The filter waits one second after it finds the job
# information file (its writer may still be writing it); "wall - wait" leaves it out.
# Usage: bench/filter_process.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
work=$(mktemp -d /tmp/tq58-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
ppd="$here/packaging/ppd/TQ-58.ppd"
mkdir -p "$work/root/var/cache/pellori/TQ-58" "$work/root/usr/share/color/icc/pellori"
printf 'MEDIA_CLASS="0001"\n' > "$work/root/var/cache/pellori/TQ-58/Print_1.log"
cp /usr/share/color/icc/colord/AdobeRGB1998.icc "$work/root/usr/share/color/icc/pellori/SD_TQ58_0100.icc"
"$build/tools/tq58-make-sample" "$work/sample.png" 1266 1836

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

run_case() {
  local name=$1 resolution=$2
  local options="PageSize=102x153mm Resolution=$resolution FyxSharpness=3 FyxBorder=Enable FyxColorAdjustment=Enable FyxGammaR=20 FyxBrightnessG=5 FyxContrastB=5 FyxChroma=10"
  cupsfilter -p "$ppd" -m application/vnd.cups-raster -o PageSize=102x153mm -o Resolution="$resolution" \
    "$work/sample.png" > "$work/$name.ras" 2>/dev/null
  : > "$work/$name.times"
  for i in 1 2 3 4 5; do
    TQ58_ROOT="$work/root" PPD="$ppd" /usr/bin/time -v "$build/src/Filters/TQ-58/rastertotq58" 1 u t 1 "$options" \
      "$work/$name.ras" > "$work/$name.out" 2> "$work/$name.time"
    awk -F': ' '/Elapsed \(wall clock\)/ {split($2,t,":"); w=t[1]*60+t[2]}
                /User time/ {u=$2} /System time/ {s=$2} /Maximum resident/ {m=$2}
                END {printf "%.3f %.3f %.1f\n", w, u+s, m/1024}' "$work/$name.time" >> "$work/$name.times"
  done
  local wall cpu rss
  wall=$(cut -d' ' -f1 "$work/$name.times" | median)
  cpu=$(cut -d' ' -f2 "$work/$name.times" | median)
  rss=$(cut -d' ' -f3 "$work/$name.times" | median)
  printf '%-28s wall %6.3f s   wall-wait %6.3f s   cpu %6.3f s   peak %6.1f MiB\n' \
    "$name" "$wall" "$(echo "$wall - 1" | bc -l)" "$cpu" "$rss"
}

run_case "4x6 300 dpi (1266x1836)" 300x300dpi
run_case "4x6 600x600 dpi (2532x3672)" 600x600dpi
