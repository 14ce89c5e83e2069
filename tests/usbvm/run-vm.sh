#!/usr/bin/env bash
# Boots Debian's kernel under qemu (software emulation) with a USB printer
# gadget stack loaded (dummy_hcd with two ports, libcomposite, the printer
# function, usblp), the host's root shared read-only over 9p under a tmpfs
# overlay, and runs one command in that root as root. Its output comes out on
# the serial console; its exit status is this script's.
#
#   run-vm.sh [--kernel DIR] [--cache DIR] [--no-udev] [--timeout SECONDS]
#             [--memory MB] [--cpus N] [--env KEY=VALUE]... -- COMMAND [ARG]...
#
# --kernel  the unpacked kernel package (fetch-kernel.sh fetches one into the
#           cache when absent); --cache the cache folder for fetch-kernel.sh
# --no-udev do not start systemd-udevd in the guest
# --env     an environment variable for the command (repeatable)
#
# In the guest the command runs in the folder this script was started in,
# with TQ58_USBVM_GUEST=1 and TQ58_USBVM_OUT naming a writable folder that the
# host sees too (a temporary folder of this run, removed afterwards unless
# TQ58_USBVM_KEEP=1).
#
# TQ58_USBVM_QEMU names another qemu-system-x86_64.
#
# Exit status: the command's; 77 when qemu, busybox or the kernel cannot be
# had (1 instead when CI=true, where the rig must run); 1 when the guest ended
# without reporting a status (a crash or the time-out). The last line on
# standard error gives the time of the boot and power-off and of the command.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
kernel=""
cache=""
udev=1
timeout_s=540
memory=1024
cpus=1
envs=()
while [ $# -gt 0 ]; do
  case "$1" in
  --kernel) kernel="$2"; shift 2 ;;
  --cache) cache="$2"; shift 2 ;;
  --no-udev) udev=0; shift ;;
  --timeout) timeout_s="$2"; shift 2 ;;
  --memory) memory="$2"; shift 2 ;;
  --cpus) cpus="$2"; shift 2 ;;
  --env) envs+=("$2"); shift 2 ;;
  --) shift; break ;;
  *) echo "run-vm: unexpected argument $1" >&2; exit 2 ;;
  esac
done
if [ $# -eq 0 ]; then
  echo "run-vm: no command given (run-vm.sh [options] -- COMMAND [ARG]...)" >&2
  exit 2
fi

# A missing tool or kernel skips the run, except in CI.
cannot_run() {
  if [ "${CI:-}" = "true" ]; then
    echo "run-vm: FAILED (CI=true): $*" >&2
    exit 1
  fi
  echo "run-vm: SKIPPED: $*" >&2
  exit 77
}

qemu="$(command -v "${TQ58_USBVM_QEMU:-qemu-system-x86_64}" || true)"
[ -n "$qemu" ] || cannot_run "${TQ58_USBVM_QEMU:-qemu-system-x86_64} is not installed (scripts/install-deps.sh installs qemu-system-x86)"
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
  if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then busybox="$b"; break; fi
done
[ -n "$busybox" ] || cannot_run "no static busybox (package busybox-static)"
command -v cpio >/dev/null || cannot_run "cpio is not installed"
if [ -z "$kernel" ]; then
  kernel="$("$here/fetch-kernel.sh" ${cache:+"$cache"} | tail -n 1)" || kernel=""
fi
vmlinuz="$(ls "$kernel"/boot/vmlinuz-* 2>/dev/null | head -n 1)"
[ -n "$vmlinuz" ] || cannot_run "no kernel package could be fetched (tests/usbvm/fetch-kernel.sh; needs apt's package lists)"
moddir="$(ls -d "$kernel"/lib/modules/*/kernel 2>/dev/null | head -n 1)"

# Modules in dependency order (the package ships no modules.dep): the 9p and
# overlay stack for the host's root, then the USB host, gadget and printer parts.
modules=(
  drivers/virtio/virtio_ring drivers/virtio/virtio drivers/virtio/virtio_pci_modern_dev
  drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci fs/netfs/netfs fs/fscache/fscache
  net/9p/9pnet net/9p/9pnet_virtio fs/9p/9p fs/overlayfs/overlay
  drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core
  fs/configfs/configfs drivers/usb/gadget/libcomposite "drivers/usb/gadget/udc/dummy_hcd num=2"
  drivers/usb/gadget/function/usb_f_printer drivers/usb/class/usblp
)

out="$(mktemp -d "${TMPDIR:-/tmp}/tq58-usbvm-XXXXXX")"
cleanup() { [ "${TQ58_USBVM_KEEP:-0}" = 1 ] || rm -rf "$out"; }
trap cleanup EXIT
mkdir -p "$out/initrd/bin" "$out/initrd/modules" "$out/share"
cp "$busybox" "$out/initrd/bin/busybox"
: >"$out/initrd/modules/list"
for m in "${modules[@]}"; do
  path="${m%% *}"
  args=""
  [ "$path" != "$m" ] && args="${m#* }"
  name="$(basename "$path")"
  [ -f "$moddir/$path.ko" ] || cannot_run "the kernel package has no module $path.ko"
  cp "$moddir/$path.ko" "$out/initrd/modules/$name.ko"
  echo "$name $args" >>"$out/initrd/modules/list"
done

share="$out/share"
# The command script runs with the host's bash inside the guest's root.
{
  echo "cd $(printf '%q' "$PWD") || exit 1"
  echo "export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8"
  echo "export TQ58_USBVM_GUEST=1 TQ58_USBVM_OUT=$(printf '%q' "$share")"
  for e in "${envs[@]}"; do echo "export $(printf '%q' "$e")"; done
  if [ "$udev" = 1 ]; then
    echo "mkdir -p /run/udev && /lib/systemd/systemd-udevd --daemon --resolve-names=never"
    # The USB devices only: a trigger of every device costs seconds under emulation.
    echo "udevadm trigger --action=add --subsystem-match=usb"
    echo "udevadm settle --timeout=30"
  fi
  echo 'start=$(date +%s%3N)'
  echo 'cut -d" " -f1 /proc/uptime >"$TQ58_USBVM_OUT/uptime-at-start"'
  printf '%q ' "$@"
  echo
  echo 'status=$?'
  echo 'echo $(( $(date +%s%3N) - start )) >"$TQ58_USBVM_OUT/command-ms"'
  [ "$udev" = 1 ] && echo "udevadm control --exit 2>/dev/null"
  echo 'exit $status'
} >"$share/command.sh"

cat >"$out/initrd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc 2>/dev/null || { mkdir -p /proc && mount -t proc proc /proc; }
mkdir -p /sys /dev /host /rw /root
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
while read -r name args; do
  insmod /modules/\$name.ko \$args || echo "init: insmod \$name failed"
done </modules/list
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=512000,cache=loose hostroot /host || poweroff -f
mount -t tmpfs -o mode=0755 tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/host,upperdir=/rw/upper,workdir=/rw/work /root || poweroff -f
mount -t proc proc /root/proc
mount -t sysfs sysfs /root/sys
mount -t devtmpfs devtmpfs /root/dev
mkdir -p /root/dev/pts /root/dev/shm
mount -t devpts devpts /root/dev/pts
mount -t tmpfs tmpfs /root/dev/shm
mount -t configfs configfs /root/sys/kernel/config
mount -t tmpfs -o mode=0755 tmpfs /root/run
# /tmp stays the overlay's: the host's /tmp shows through (a build tree may
# live there) and what the guest writes lands in the tmpfs upper layer.
mkdir -p /root$share
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000 share /root$share || poweroff -f
# The command's root becomes the root of process 1 (udev's tools refuse to
# work in a chroot); the host's static busybox powers the guest off after it.
cat >/root/run/stage2 <<'STAGE2'
/bin/bash $share/command.sh
echo \$? >$share/exit-status
umount $share
exec $busybox poweroff -f
STAGE2
exec switch_root /root $busybox sh /run/stage2
EOF
chmod +x "$out/initrd/init"
(cd "$out/initrd" && find . | cpio -o -H newc --quiet | gzip -1) >"$out/initrd.gz"

started=$(date +%s%3N)
timeout --kill-after=10 "$timeout_s" "$qemu" -machine q35 -cpu max -m "$memory" -smp "$cpus" \
  -nographic -nodefaults -serial stdio -monitor none -no-reboot \
  -kernel "$vmlinuz" -initrd "$out/initrd.gz" -append "console=ttyS0 quiet panic=-1" \
  -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$share,mount_tag=share,security_model=none,multidevs=remap" </dev/null
qemu_status=$?
total=$(( $(date +%s%3N) - started ))
command_ms="$(cat "$share/command-ms" 2>/dev/null || echo 0)"
echo "run-vm: boot and power-off $(( total - command_ms )) ms (kernel to command $(cat "$share/uptime-at-start" 2>/dev/null) s), command $command_ms ms" >&2
if [ ! -s "$share/exit-status" ]; then
  echo "run-vm: the guest ended without reporting a status (qemu exit $qemu_status)" >&2
  exit 1
fi
exit "$(cat "$share/exit-status")"
