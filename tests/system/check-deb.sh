#!/bin/sh
# Builds the Debian package with cpack into a temporary folder and checks it:
# dpkg -c lists every expected path, the backend is root's alone (0700), the
# libraries and CUPS are dependencies, and the maintainer scripts start and
# stop the daemon's unit.
# Usage: check-deb.sh BUILD_DIR BACKEND_PATH UNIT_NAME PATH...
set -eu
build=$1 backend=$2 unit=$3
shift 3
out=$(mktemp -d /tmp/tq58-deb-XXXXXX)
trap 'rm -rf "$out"' EXIT
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
deb=$(ls "$out"/*.deb)
dpkg -c "$deb" >"$out/list"
cat "$out/list"
fail=0
for path in "$@"; do
  awk '{print $6}' "$out/list" | grep -qxF ".$path" || { echo "missing from the package: $path"; fail=1; }
done
awk -v p=".$backend" '$6 == p && $1 == "-rwx------" && $2 == "root/root"' "$out/list" | grep -q . ||
  { echo "the backend is not -rwx------ root/root"; fail=1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for dep in cups cups-client libcups2 liblcms2-2 libusb-1.0-0 libqt6widgets6; do
  echo "$depends" | tr ',' '\n' | sed 's/^ *//; s/ .*//' | grep -qxF "$dep" || { echo "missing dependency: $dep"; fail=1; }
done
dpkg-deb -e "$deb" "$out/control"
grep -q "systemctl enable --now $unit" "$out/control/postinst" || { echo "postinst does not start $unit"; fail=1; }
grep -q "systemctl disable --now $unit" "$out/control/prerm" || { echo "prerm does not stop $unit"; fail=1; }
for script in postinst prerm postrm; do
  sh -n "$out/control/$script" || { echo "$script: syntax error"; fail=1; }
done
exit $fail
