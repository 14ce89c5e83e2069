#!/usr/bin/env bash
# The Debian package on this machine, for CI: `install BUILD` builds it with
# cpack and installs it with apt-get (so the suite runs beside an installed
# driver); `verify` checks with dpkg -V that no test changed an installed file,
# then purges the package.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
package=tq58-driver
case "${1:-}" in
  install)
    build=$2
    rm -rf "$build/deb" && mkdir -p "$build/deb"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build/deb" >"$build/deb/cpack.log" 2>&1 ||
      { cat "$build/deb/cpack.log"; exit 1; }
    deb=$(readlink -f "$(ls "$build"/deb/*.deb)")
    apt-get install -y -qq "$deb" >/dev/null
    dpkg-query -W "$package"
    ;;
  verify)
    changed=$(dpkg -V "$package" || true)
    if [ -n "$changed" ]; then
      echo "dpkg -V $package: the tests changed installed files:"
      echo "$changed"
      exit 1
    fi
    echo "dpkg -V $package: nothing changed"
    apt-get purge -y -qq "$package" >/dev/null
    ;;
  *)
    echo "usage: $0 install BUILD | verify" >&2
    exit 2
    ;;
esac
