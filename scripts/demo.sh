#!/usr/bin/env bash
# The main job: builds the driver, draws a sample photo and prints it through
# CUPS to an emulated TQ-58, then leaves the print as a PNG.
#   1. the sample photo, as PNG and JPEG;
#   2. the printer stream of our filter alone (cupsfilter -> rastertotq58), decoded;
#   3. the real thing (scripts/demo-print.sh, as root): the installed tree, a
#      private cupsd with our filter and backend, the status daemon and the
#      printer emulator; plugging in the printer makes its queue, lp prints
#      the photo, the emulator saves the print. Everything it starts it stops.
# Usage: scripts/demo.sh ["job options"]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build="$here/build"
"$here/scripts/build.sh" "$build" >/dev/null

out="$build/demo"
rm -rf "$out"
mkdir -p "$out/root/var/cache/pellori/TQ-58" "$out/print"
options=${1:-"PageSize=102x153mm FyxOvercoatFinish=Luster Fyx2InchCut=Enable FyxSharpness=2 FyxBorder=Enable"}

echo "1. sample photo:        $out/sample.png, $out/sample.jpg"
"$build/tools/tq58-make-sample" "$out/sample.png" 1266 1836
"$build/tools/tq58-make-sample" "$out/sample.ppm" 1266 1836
cjpeg -quality 95 -outfile "$out/sample.jpg" "$out/sample.ppm"

# The filter alone, with the job information file the backend writes and the SD profile.
ppd="$here/packaging/ppd/TQ-58.ppd"
mkdir -p "$out/root/usr/share/color/icc/pellori"
cp "$build/packaging/files/"*.icc "$out/root/usr/share/color/icc/pellori/"
printf 'MEDIA_CLASS="0001"\n' > "$out/root/var/cache/pellori/TQ-58/Print_42.log"
echo "2. our filter alone:    cupsfilter -m application/vnd.cups-raster, then rastertotq58 42 demo sample 1 \"$options\""
cupsfilter -p "$ppd" -m application/vnd.cups-raster -o PageSize=102x153mm "$out/sample.png" \
  > "$out/page.ras" 2> "$out/cupsfilter.log"
TQ58_ROOT="$out/root" PPD="$ppd" "$build/src/Filters/TQ-58/rastertotq58" 42 demo sample 1 "$options" \
  "$out/page.ras" > "$out/stream.bin"
echo "   printer stream, decoded:"
"$build/tools/tq58-decode" --out "$out/print" "$out/stream.bin" | sed 's/^/   /'
echo "   stream preview: $out/print/print-1.png"

echo "3. through CUPS to the emulated printer:"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO "$here/scripts/demo-print.sh" "$build" "$out/sample.jpg" "$options" "$out/cups"
echo "print: $out/cups/p1-print-0001.png"
