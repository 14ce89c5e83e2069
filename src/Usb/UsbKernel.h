// What the Linux kernel itself tells about USB devices, with no udev daemon:
// the devices it has enumerated (sysfs, /sys/bus/usb/devices) and the uevents
// it sends when one is added or removed (a NETLINK_KOBJECT_UEVENT socket on
// the kernel's own multicast group). The libusb adapter lists the bus and
// learns of plugs and unplugs through these, since libusb's own device list
// follows udev's events and stays stale on a system without udev.
#ifndef TQ58_USBKERNEL_H
#define TQ58_USBKERNEL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One USB device (not an interface) as sysfs shows it.
struct KernelUsbDevice {
  std::string name;  // the sysfs name: bus, '-', the port path ("1-1.2")
  unsigned busNumber = 0;
  unsigned deviceNumber = 0;  // the address on its bus
  uint16_t vendorId = 0;
  uint16_t productId = 0;

  // The identity the transport gives the device for one plug-in, the same as
  // the libusb adapter's: "BBB-<ports>@DDD" ("001-1.2@005").
  std::string GetId() const;
};

// Lists the devices below sysfsRoot ("/sys" on a running system) whose
// attributes could be read. False when sysfsRoot/bus/usb/devices cannot be
// listed. Blocks on sysfs only.
bool TQ58_ListKernelUsbDevices(const std::string& sysfsRoot, std::vector<KernelUsbDevice>* devices);

// One kernel uevent about a whole USB device.
struct UsbUevent {
  bool added = false;         // "add"; else "remove"
  std::string devPath;        // DEVPATH, below /sys
  unsigned busNumber = 0;     // BUSNUM; 0 when absent
  unsigned deviceNumber = 0;  // DEVNUM; 0 when absent
};

// Parses one kernel uevent message: "ACTION@DEVPATH", then NUL-separated
// KEY=VALUE fields. True only for the addition or the removal of a USB device
// (SUBSYSTEM=usb, DEVTYPE=usb_device); every other message, and one that is
// malformed, gives false. Does not block.
bool TQ58_ParseUsbUevent(const char* data, size_t size, UsbUevent* event);

// A non-blocking, close-on-exec socket on the kernel's uevent group, or -1
// when the platform refuses one. Does not block.
int TQ58_OpenUeventSocket();

// Reads every message waiting on fd without blocking. True when one of them
// was a USB device's addition or removal, or when messages were lost (the
// socket's buffer overflowed), so that the caller lists the bus again. With
// kernelOnly, a message not sent by the kernel is ignored. Does not block.
bool TQ58_DrainUsbUevents(int fd, bool kernelOnly);

#endif
