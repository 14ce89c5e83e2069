#!/usr/bin/env bash
# Configures and builds the project. Usage: scripts/build.sh [build-dir] [extra cmake args...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
[ $# -gt 0 ] && shift
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ58_WERROR=ON "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
