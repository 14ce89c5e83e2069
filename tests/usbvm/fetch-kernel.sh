#!/usr/bin/env bash
# Fetches the kernel package that linux-image-amd64 depends on and unpacks it
# into a cache folder, without installing it. Prints the folder holding the
# unpacked package (boot/vmlinuz-* and lib/modules/<version>/) on its last line.
#
#   fetch-kernel.sh [CACHE]
#
# CACHE defaults to $TQ58_USBVM_CACHE, else $XDG_CACHE_HOME/tq58-usbvm (or
# ~/.cache/tq58-usbvm). A package unpacked there before is used again.
# Exit status: 0 with the folder printed, 1 when the package cannot be had.
set -euo pipefail

cache="${1:-${TQ58_USBVM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tq58-usbvm}}"

# The exact package: a pattern would fetch every kernel version in the archive.
package="$(apt-cache depends linux-image-amd64 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)"
if [ -z "$package" ]; then
  echo "fetch-kernel: apt-cache knows no kernel package for linux-image-amd64 (run apt-get update?)" >&2
  exit 1
fi

target="$cache/$package"
if [ -f "$target/.unpacked" ]; then
  echo "$target"
  exit 0
fi

mkdir -p "$cache"
work="$(mktemp -d "$cache/.fetch-XXXXXX")"
chmod 0755 "$work"  # apt-get download runs as the _apt user where it can
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get download -q "$package" >&2); then
  echo "fetch-kernel: apt-get download $package failed" >&2
  exit 1
fi
deb="$(ls "$work"/*.deb)"
mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
if ! ls "$work"/root/boot/vmlinuz-* >/dev/null 2>&1; then
  echo "fetch-kernel: $package holds no boot/vmlinuz-*" >&2
  exit 1
fi
touch "$work/root/.unpacked"
rm -rf "$target"
mv "$work/root" "$target"
echo "$target"
