#!/bin/sh
# Installs the build into a temporary root with `cmake --install` and checks the
# tree against the layout: every expected path is there, the backend is
# root's alone (0700), nothing lies under a macOS folder, and the tools come
# only with their own component.
# Usage: check-install.sh BUILD_DIR BACKEND_PATH TOOLS_FOLDER -- PATH...
set -eu
build=$1 backend=$2 tools=$3
shift 4
root=$(mktemp -d /tmp/tq58-install-XXXXXX)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root/tree" >"$root/install.log" 2>&1 || { cat "$root/install.log"; exit 1; }
fail=0
for path in "$@"; do
  [ -e "$root/tree$path" ] || [ -L "$root/tree$path" ] || { echo "not installed: $path"; fail=1; }
done
mode=$(stat -c %a "$root/tree$backend")
[ "$mode" = 700 ] || { echo "the backend has mode $mode, not 700"; fail=1; }
if [ -e "$root/tree/Library" ]; then
  echo "files under /Library:"; find "$root/tree/Library"; fail=1
fi
[ ! -e "$root/tree$tools/tq58-emulator" ] || { echo "a plain install holds the tools"; fail=1; }
cmake --install "$build" --prefix "$root/tools" --component tools >"$root/tools.log" 2>&1 || { cat "$root/tools.log"; exit 1; }
for tool in tq58-emulator tq58-decode tq58-make-sample; do
  [ -x "$root/tools$tools/$tool" ] || { echo "the tools component lacks $tool"; fail=1; }
done
( cd "$root/tree" && find . ! -type d | sort )
exit $fail
