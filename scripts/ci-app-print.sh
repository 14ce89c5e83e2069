#!/usr/bin/env bash
# For CI, on a machine where the packages are installed: prints a photo
# through the installed printer application to an emulated TQ-58, set up the
# way the README tells a user of the emulator (the bus folder in
# /etc/default/tq58-printer-app, the server started as its unit starts it).
# The application's state folder stays, for the purge to remove; everything
# else it changed is put back at the end.
# Usage: scripts/ci-app-print.sh OUT_DIR
set -euo pipefail
out=$1
app=/usr/sbin/tq58-printer-app
bus=/run/tq58-usb-app
defaults=/etc/default/tq58-printer-app
unit=/lib/systemd/system/tq58-printer-app.service
state=/var/lib/tq58-printer-app
work=$(mktemp -d /tmp/tq58-ci-app-XXXXXX)
chmod 0755 "$work"
pids=()

source "$(dirname "$0")/wait-for.sh"
has_systemd() { [ -d /run/systemd/system ]; }

cleanup() {
  if has_systemd; then
    systemctl stop tq58-printer-app || true
  elif [ -S /run/tq58-printer-app.sock ]; then
    "$app" shutdown || true
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "$defaults"
  rm -rf "$work" "$bus"
}
trap cleanup EXIT

# The printer, plugged in on an emulated bus of its own (the daemon's
# queue test uses another); it saves its prints as PNG.
mkdir -p "$out"
tq58-emulator --bus "$bus" --printer p2 --set "save=$out" --set png=1 </dev/null >"$out/app-emulator.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$bus/p2/bulk"

# The server, with the environment file and the command line of its unit
# (systemd makes the state folder; without it, this script does).
echo "TQ58_EMULATED_USB=$bus" > "$defaults"
if has_systemd; then
  systemctl start tq58-printer-app
else
  exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
  install -d -m 0700 "$state"
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c "set -a; . '$defaults'; umask 077; exec $exec_start" \
    >"$out/app.log" 2>&1 &
  pids+=($!)
fi
wait_for 15 test -S /run/tq58-printer-app.sock

"$app" add -d p2 -m pellori_tq-58 -v tq58emu://bus/p2
tq58-make-sample "$work/photo.png" 1200 1800
"$app" submit -d p2 "$work/photo.png"
wait_for 120 test -s "$out/p2-print-0001.png"
echo "printed through the printer application: $(ls "$out"/p2-print-*.png)"
"$app" status -d p2
