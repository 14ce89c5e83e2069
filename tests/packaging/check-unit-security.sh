#!/bin/sh
# Rates the daemon's unit with `systemd-analyze security --offline=true` (no
# running systemd needed) and fails above the "OK" band (exposure 4.0), or when
# the unit no longer grants what the daemon needs. Skips (77) where
# systemd-analyze or its --offline option is missing.
# Usage: check-unit-security.sh UNIT-FILE LIMIT CACHE-DIRECTORY
set -u
unit=$1
limit=$2
cache_directory=$3

if ! command -v systemd-analyze >/dev/null 2>&1; then
  echo "SKIP: no systemd-analyze on this machine"
  exit 77
fi
if ! systemd-analyze security --help 2>/dev/null | grep -q -- '--offline'; then
  echo "SKIP: this systemd-analyze has no --offline ($(systemd-analyze --version | head -n 1))"
  exit 77
fi

status=0
# What the daemon needs stays granted: cupsd's socket and plug events, the USB
# device nodes, the maker's cache folder, the optional environment file.
for line in 'RestrictAddressFamilies=AF_UNIX AF_NETLINK' 'DeviceAllow=char-usb_device rw' \
            'EnvironmentFile=-/etc/default/infotq58' "CacheDirectory=$cache_directory"; do
  if ! grep -qxF "$line" "$unit"; then
    echo "FAIL: $unit has no line $line"
    status=1
  fi
done

# The unit's file name is its name: rate a copy in a folder of our own.
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
cp "$unit" "$folder/infotq58.service"
report=$(cd "$folder" && systemd-analyze security --offline=true --no-pager ./infotq58.service 2>&1)
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
