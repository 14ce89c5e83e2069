#!/usr/bin/env bash
# The main job: draws a sample photo, turns it into CUPS raster with CUPS's own
# cupsfilter and our PPD, runs our filter rastertotq58 on it, decodes the
# printer stream and leaves a PNG of the print.
# Usage: scripts/demo.sh ["job options"]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build="$here/build"
"$here/scripts/build.sh" "$build" >/dev/null

out="$build/demo"
rm -rf "$out"
mkdir -p "$out/root/Library/Caches/Pellori/TQ-58" "$out/root/Library/ColorSync/Profiles" "$out/print"
# The job information file that the backend writes for a real job, and the printer profile.
printf 'MEDIA_CLASS="0001"\n' > "$out/root/Library/Caches/Pellori/TQ-58/Print_42.log"
cp /usr/share/color/icc/colord/sRGB.icc "$out/root/Library/ColorSync/Profiles/SD_TQ58_0100.icc"

options=${1:-"PageSize=102x153mm FyxOvercoatFinish=Luster Fyx2InchCut=Enable FyxSharpness=2 FyxBorder=Enable"}
ppd="$here/packaging/ppd/TQ-58.ppd"
echo "1. sample photo:        $out/sample.png"
"$build/tools/tq58-make-sample" "$out/sample.png" 1266 1836
echo "2. CUPS raster:         cupsfilter -p TQ-58.ppd -m application/vnd.cups-raster → $out/page.ras"
cupsfilter -p "$ppd" -m application/vnd.cups-raster -o PageSize=102x153mm "$out/sample.png" \
  > "$out/page.ras" 2> "$out/cupsfilter.log"
echo "3. filter:              rastertotq58 42 demo sample 1 \"$options\""
TQ58_ROOT="$out/root" PPD="$ppd" "$build/src/Filters/TQ-58/rastertotq58" 42 demo sample 1 "$options" \
  "$out/page.ras" > "$out/stream.bin"
echo "4. printer stream, decoded:"
"$build/tools/tq58-decode" --out "$out/print" "$out/stream.bin" | sed 's/^/   /'
echo "print preview: $out/print/print-1.png"
