#!/usr/bin/env bash
# For CI, on a machine where the packages are installed: prints a photo
# through the system's own cupsd to an emulated TQ-58, set up the way the
# README tells a user of the emulator (the bus folder in /etc/default/infotq58
# for the daemon, SetEnv in /etc/cups/cups-files.conf for the backend). The
# daemon makes the queue; the emulator saves the print as PNG. It also rates
# the installed units with systemd-analyze where that exists.
# Everything it changed is put back at the end, but the queue, which the
# packages' removal must delete, and cupsd, which keeps running for that.
# Usage: scripts/ci-system-print.sh OUT_DIR
set -euo pipefail
out=$1
bus=/run/tq58-usb
defaults=/etc/default/infotq58
files_conf=/etc/cups/cups-files.conf
unit=/lib/systemd/system/infotq58.service
work=$(mktemp -d /tmp/tq58-ci-print-XXXXXX)
chmod 0755 "$work"
pids=()

source "$(dirname "$0")/wait-for.sh"
is_cupsd_running() { LC_ALL=C lpstat -r 2>/dev/null | grep -qx 'scheduler is running'; }
has_systemd() { [ -d /run/systemd/system ]; }

restart_cupsd() {
  if has_systemd; then
    systemctl restart cups
  else
    local pid
    pid=$(cat /run/cups/cupsd.pid 2>/dev/null || true)
    if [ -n "$pid" ] && kill "$pid" 2>/dev/null; then
      wait_for 10 sh -c "! kill -0 $pid 2>/dev/null"
    fi
    /usr/sbin/cupsd
  fi
  wait_for 15 is_cupsd_running
}

cleanup() {
  if has_systemd; then systemctl stop infotq58 || true; fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -f "$defaults"
  if [ -f "$work/cups-files.conf" ]; then
    cp "$work/cups-files.conf" "$files_conf"
    restart_cupsd || true
  fi
  rm -rf "$work" "$bus"
}
trap cleanup EXIT

echo "the installed units' security ratings:"
if command -v systemd-analyze >/dev/null 2>&1 && systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
  for rated in "$unit" /lib/systemd/system/tq58-printer-app.service; do
    if [ -f "$rated" ]; then systemd-analyze security --offline=true --no-pager "$rated" | tail -n 1; fi
  done
else
  echo "SKIP: no systemd-analyze with --offline on this machine"
fi

# The backend, run by cupsd, finds the emulated bus through cupsd's SetEnv.
cp "$files_conf" "$work/cups-files.conf"
grep -v '^SetEnv TQ58_EMULATED_USB ' "$work/cups-files.conf" > "$files_conf"
echo "SetEnv TQ58_EMULATED_USB $bus" >> "$files_conf"
restart_cupsd
lpinfo -m | grep "^pellori/TQ-58.ppd.gz " || { echo "lpinfo -m does not list the driver"; exit 1; }

# The printer, plugged in on the emulated bus; it saves its prints as PNG.
mkdir -p "$out"
tq58-emulator --bus "$bus" --printer p1 --set "save=$out" --set png=1 </dev/null >"$out/emulator.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$bus/p1/bulk"

# The daemon, with the environment its unit gives it.
echo "TQ58_EMULATED_USB=$bus" > "$defaults"
if has_systemd; then
  systemctl restart infotq58
else
  env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin sh -c "set -a; . '$defaults'; exec /usr/sbin/infotq58" \
    >"$out/daemon.log" 2>&1 &
  pids+=($!)
fi
has_queue() { LC_ALL=C lpstat -v | grep -q 'fyxbackend://.*TQ-58?serial=TQ58-0001'; }
wait_for 30 has_queue
queue=$(LC_ALL=C lpstat -v | sed -n 's|^device for \([^:]*\): fyxbackend://.*TQ-58?serial=TQ58-0001$|\1|p')
echo "the daemon made the queue: $(lpstat -v "$queue")"

tq58-make-sample "$work/photo.png" 1800 1200
lp -d "$queue" -o media=na_index-4x6_4x6in "$work/photo.png"
wait_for 180 test -s "$out/p1-print-0001.png"
no_jobs() { [ -z "$(lpstat -o "$queue")" ]; }
wait_for 60 no_jobs
echo "printed: $(ls "$out"/p1-print-*.png)"
lpstat -p "$queue"
