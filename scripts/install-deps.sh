#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and run its demo.
# Idempotent and quiet: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  cups cups-client cups-bsd cups-filters libcups2-dev libcupsimage2-dev
  liblcms2-dev liblcms2-utils icc-profiles-free colord-data
  libusb-1.0-0-dev libpng-dev libjpeg-turbo-progs time bc imagemagick
  libpappl-dev cups-ipp-utils chromium
  qt6-base-dev qt6-l10n-tools qt6-tools-dev-tools qt6-tools-dev fonts-dejavu-core
  pkexec policykit-1
  debhelper dpkg-dev fakeroot lintian help2man
  qemu-system-x86 busybox-static cpio udev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  echo "installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
