#!/bin/sh
# Rates a systemd unit with `systemd-analyze security --offline=true` (no
# running systemd needed) and fails above the given exposure (4.0 is the top of
# the "OK" band), or when the unit no longer has one of the given lines (what
# its program needs). Skips (77) where systemd-analyze or its --offline option
# is missing.
# Usage: check-unit-security.sh UNIT-FILE LIMIT [NEEDED-LINE ...]
set -u
unit=$1
limit=$2
shift 2

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "SKIP: no systemd-analyze on this machine"
  exit 77
fi
if ! systemd-analyze security --help 2>/dev/null | grep -q -- '--offline'; then
  echo "SKIP: this systemd-analyze has no --offline ($(systemd-analyze --version | head -n 1))"
  exit 77
fi

status=0
for line in "$@"; do
  if ! grep -qxF "$line" "$unit"; then
    echo "FAIL: $unit has no line $line"
    status=1
  fi
done

# The unit's file name is its name: rate a copy in a folder of our own.
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
name=$(basename "$unit")
cp "$unit" "$folder/$name"
report=$(cd "$folder" && systemd-analyze security --offline=true --no-pager "./$name" 2>&1)
score=$(printf '%s\n' "$report" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9][0-9.]*\).*/\1/p')
if [ -z "$score" ]; then
  printf '%s\n' "$report"
  echo "FAIL: no exposure level in systemd-analyze's report"
  exit 1
fi
if awk -v s="$score" -v l="$limit" 'BEGIN { exit !(s > l) }'; then
  printf '%s\n' "$report" | grep '✗'
  echo "FAIL: exposure $score is above $limit"
  exit 1
fi
echo "exposure $score (limit $limit)"
exit $status
