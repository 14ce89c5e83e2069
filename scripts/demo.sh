#!/usr/bin/env bash
# The main job: builds the filter front, runs it for a sample job (options and
# the packaged PPD) and shows the packets it writes, decoded.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build="$here/build"
"$here/scripts/build.sh" "$build" >/dev/null

root=$(mktemp -d /tmp/tq58-demo-XXXXXX)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/Library/Caches/Pellori/TQ-58"
printf 'MEDIA_CLASS="0001"\n' > "$root/Library/Caches/Pellori/TQ-58/Print_42.log"

options=${1:-"PageSize=102x153mm Resolution=300x600dpi FyxOvercoatFinish=Luster Fyx2InchCut=Enable FyxDecurl=Enable FyxSharpness=2"}
echo "sample job 42, options: $options"
echo "PPD: packaging/ppd/TQ-58.ppd"
TQ58_ROOT="$root" PPD="$here/packaging/ppd/TQ-58.ppd" \
  "$build/tools/tq58-settings-demo" 42 "$options" > "$root/stream.bin" 2> "$root/settings.txt"
echo "settings read:"
sed 's/^/  /' "$root/settings.txt"
echo "packets written to standard output:"
"$build/tools/tq58-decode" "$root/stream.bin"
