#!/usr/bin/env bash
# Checks that the C++ sources of src/, tools/ and tests/ are as clang-format
# (.clang-format) leaves them; lists the files that are not. With --fix,
# formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'tests/*.cpp' 'tests/*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run -Werror "${files[@]}"
echo "clang-format: ${#files[@]} files as formatted"
