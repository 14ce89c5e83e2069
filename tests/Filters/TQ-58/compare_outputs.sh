#!/bin/sh
# Runs each image-operation dump program given and checks that all of them
# write the same bytes as the first.
set -eu
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
i=0
for exe in "$@"; do
  "$exe" "$dir/out$i"
  i=$((i + 1))
done
size=$(wc -c < "$dir/out0")
if [ "$size" -lt 100000 ]; then
  echo "reference output suspiciously short: $size bytes" >&2
  exit 1
fi
i=1
shift
for exe in "$@"; do
  if ! cmp "$dir/out0" "$dir/out$i"; then
    echo "output of $exe differs from the first build" >&2
    exit 1
  fi
  i=$((i + 1))
done
echo "$((i)) builds agree on $size bytes"
