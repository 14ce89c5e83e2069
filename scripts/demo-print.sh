#!/usr/bin/env bash
# Prints a photo through CUPS to an emulated TQ-58, as root (CUPS runs the
# backend as root): installs the build into a temporary root, starts a
# private cupsd (our filter and backend in its ServerBin, listening on a Unix
# socket only), the printer emulator and the status daemon; the daemon makes
# the queue when the printer is plugged in; lp prints; the emulator saves the
# print as PNG. Every process it starts is stopped again, by its PID.
# Usage: scripts/demo-print.sh BUILD_DIR PHOTO "job options" OUT_DIR
set -euo pipefail
build=$1 photo=$2 options=$3 out=$4
queue=PELLORI_SYSTEMS_TQ_58

# Below /tmp: the scheduler's filters run as lp and must reach every file.
rt=$(mktemp -d /tmp/tq58-demo-XXXXXX)
chmod 0755 "$rt"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$rt"
}
trap cleanup EXIT

source "$(dirname "$0")/wait-for.sh"

root="$rt/root" bus="$rt/bus" cups="$rt/cups"
cmake --install "$build" --prefix "$root" >/dev/null
mkdir -p "$root/var/cache"  # there on every system: the daemon makes its folders below it
echo "   installed tree:      $root (TQ58_ROOT)"

# The private scheduler, its ServerBin the system's programs plus ours.
mkdir -p "$cups"/{conf/ppd,spool/tmp,cache,state,log,bin/backend,bin/filter}
for f in /usr/lib/cups/*; do
  case "$(basename "$f")" in backend|filter) ;; *) ln -s "$f" "$cups/bin/" ;; esac
done
for f in /usr/lib/cups/backend/* /usr/lib/cups/filter/*; do ln -sf "$f" "$cups/bin/$(basename "$(dirname "$f")")/"; done
ln -sf "$root/usr/lib/cups/filter/rastertotq58" "$cups/bin/filter/rastertotq58"
ln -sf "$root/usr/lib/cups/backend/fyxbackend" "$cups/bin/backend/fyxbackend"
# Its DataDir: the system's data, and a model folder with the installed PPD
# alone (the daemon makes its queue with lpadmin -m pellori/TQ-58.ppd.gz).
mkdir -p "$cups/data/model"
for f in /usr/share/cups/*; do
  [ "$(basename "$f")" = model ] || ln -s "$f" "$cups/data/"
done
ln -s "$root/usr/share/cups/model/pellori" "$cups/data/model/pellori"
cat > "$cups/conf/cups-files.conf" <<CONF
ServerRoot $cups/conf
RequestRoot $cups/spool
TempDir $cups/spool/tmp
CacheDir $cups/cache
StateDir $cups/state
ServerBin $cups/bin
DataDir $cups/data
ErrorLog $cups/log/error_log
AccessLog $cups/log/access_log
PageLog $cups/log/page_log
User lp
Group lp
SystemGroup root
SetEnv TQ58_ROOT $root
SetEnv TQ58_EMULATED_USB $bus
CONF
cat > "$cups/conf/cupsd.conf" <<CONF
Listen $cups/cups.sock
Browsing No
BrowseLocalProtocols none
DefaultAuthType None
WebInterface No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
export CUPS_SERVER="$cups/cups.sock" CUPS_SERVERROOT="$cups/conf"
/usr/sbin/cupsd -f -c "$cups/conf/cupsd.conf" -s "$cups/conf/cups-files.conf" &
pids+=($!)
wait_for 15 lpstat -r
echo "   private cupsd:       $CUPS_SERVER"

# The printer: plugged in on the emulated bus; its prints are saved as PNG.
mkdir -p "$out"
"$build/tools/emulator/tq58-emulator" --bus "$bus" --printer p1 --set "save=$out" --set png=1 \
  < /dev/null > "$rt/emulator.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$bus/p1/bulk"
echo "   emulated printer:    p1 on $bus"

TQ58_ROOT="$root" TQ58_EMULATED_USB="$bus" "$root/usr/sbin/infotq58" \
  > "$rt/daemon.log" 2>&1 &
pids+=($!)
wait_for 20 lpstat -v "$queue"
echo "   queue made by infotq58: $(lpstat -v "$queue")"
echo "   lpinfo -v:           $(lpinfo -v | grep fyxbackend)"
echo "   lpinfo -m:           $(lpinfo -m | grep pellori/)"

lp_options=()
for o in $options; do lp_options+=(-o "$o"); done
echo "   lp -d $queue ${lp_options[*]} $(basename "$photo")"
lp -d "$queue" "${lp_options[@]}" "$photo" | sed 's/^/   /'
wait_for 120 test -s "$out/p1-print-0001.png"
no_jobs() { [ -z "$(lpstat -o "$queue")" ]; }
wait_for 30 no_jobs

info="$root/var/cache/pellori/TQ-58/TQ-58_TQ58-0001.log"
touch "$root/var/cache/pellori/TQ-58/TQ-58_TQ58-0001_TC_UTIL"  # the status window's update button
wait_for 10 grep -q 'MEDIA_REMAIN="00049"' "$info"
echo "   information file:    $(grep -E 'MEDIA_(CLASS|REMAIN)' "$info" | tr '\n' ' ')"
if [ -n "${SUDO_UID:-}" ]; then chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" "$out"; fi
