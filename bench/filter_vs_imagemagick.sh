#!/usr/bin/env bash
# Compares the CPU time of the whole filter process on one 4x6 page at 300 dpi
# (ICC profile, sharpness 3, border, colour adjustment) with ImageMagick doing
# the comparable chain single-threaded: ICC sRGB -> AdobeRGB, Catmull-Rom
# resize to the bordered size, sharpen, saturation. Each side runs nine times,
# interleaved, in this one run; the medians and their ratio are printed.
# Skips (exit 0) when ImageMagick is not installed.
# Usage: bench/filter_vs_imagemagick.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}

# /usr/bin/convert first: another program called convert may stand earlier in PATH.
convert=""
for candidate in /usr/bin/convert "$(command -v convert || true)"; do
  if [ -x "$candidate" ] && "$candidate" -version 2>/dev/null | grep -q ImageMagick; then
    convert=$candidate
    break
  fi
done
if [ -z "$convert" ]; then
  echo "skipped: ImageMagick's convert is not installed (apt-get install imagemagick)"
  exit 0
fi

work=$(mktemp -d /tmp/tq58-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
ppd="$here/packaging/ppd/TQ-58.ppd"
srgb=/usr/share/color/icc/colord/sRGB.icc
adobe=/usr/share/color/icc/colord/AdobeRGB1998.icc
mkdir -p "$work/root/var/cache/pellori/TQ-58" "$work/root/usr/share/color/icc/pellori"
printf 'MEDIA_CLASS="0001"\n' > "$work/root/var/cache/pellori/TQ-58/Print_1.log"
cp "$adobe" "$work/root/usr/share/color/icc/pellori/SD_TQ58_0100.icc"
"$build/tools/tq58-make-sample" "$work/sample.png" 1266 1836
"$convert" "$work/sample.png" -depth 8 "$work/page.ppm"
cupsfilter -p "$ppd" -m application/vnd.cups-raster -o PageSize=102x153mm -o Resolution=300x300dpi \
  "$work/sample.png" > "$work/page.ras" 2>/dev/null

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# CPU seconds (user + system) of one command, to the millisecond (bash's time).
cpu_of() {
  local TIMEFORMAT='%3U %3S'
  { time "$@" > /dev/null 2>&1; } 2> "$work/time"
  awk '{printf "%.3f\n", $1 + $2}' "$work/time"
}

options="PageSize=102x153mm Resolution=300x300dpi FyxSharpness=3 FyxBorder=Enable FyxColorAdjustment=Enable FyxGammaR=20 FyxBrightnessG=5 FyxContrastB=5 FyxChroma=10"
: > "$work/filter.times"
: > "$work/magick.times"
for i in 1 2 3 4 5 6 7 8 9; do
  TQ58_ROOT="$work/root" PPD="$ppd" cpu_of "$build/src/Filters/TQ-58/rastertotq58" 1 u t 1 "$options" \
    "$work/page.ras" >> "$work/filter.times"
  MAGICK_THREAD_LIMIT=1 cpu_of "$convert" "$work/page.ppm" -profile "$srgb" -profile "$adobe" -filter Catrom \
    -resize '1134x1644!' -sharpen 0x1 -modulate 100,110 "$work/out.ppm" >> "$work/magick.times"
done
filter=$(median < "$work/filter.times")
magick=$(median < "$work/magick.times")
printf 'filter process   cpu %6.3f s\n' "$filter"
printf 'ImageMagick      cpu %6.3f s  (%s, MAGICK_THREAD_LIMIT=1)\n' "$magick" "$convert"
printf 'ratio            %6.1f\n' "$(echo "$magick / $filter" | bc -l)"
