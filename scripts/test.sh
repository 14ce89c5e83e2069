#!/usr/bin/env bash
# Installs what the project needs, builds it and runs the test suite.
# Usage: scripts/test.sh [build-dir] [extra cmake args...]
# Long runs carry CTest labels and are left out unless TQ58_TEST_LONG=1:
# soak (10 minutes), load (about 4), usbvm (a kernel under qemu), browser.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build=${1:-"$here/build"}
[ $# -gt 0 ] && shift
"$here/scripts/build.sh" "$build" "$@"
long_labels="soak|load|usbvm|browser"
if [ "${TQ58_TEST_LONG:-0}" = 1 ]; then
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 900
else
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600 -LE "$long_labels"
fi
