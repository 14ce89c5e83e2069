#!/usr/bin/env bash
# Installs what the project needs, builds it and runs the whole test suite.
# Usage: scripts/test.sh [build-dir] [extra cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build=${1:-"$here/build"}
[ $# -gt 0 ] && shift
"$here/scripts/build.sh" "$build" "$@"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 600
