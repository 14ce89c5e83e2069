// The libusb-1.0 adapter of the USB transport. libusb.h stays inside its .cpp.
#ifndef TQ58_USBLIBUSB_H
#define TQ58_USBLIBUSB_H

#include <memory>
#include <string>

#include "UsbTransport.h"

// Where the adapter reads the kernel's view of the bus. The defaults are the
// running system's; tests point them at folders and a socket of their own.
struct LibusbBusOptions {
  std::string sysfsRoot = "/sys";  // devices listed from <sysfsRoot>/bus/usb/devices
  std::string devRoot = "/dev";    // device nodes <devRoot>/bus/usb/BBB/DDD
  int ueventFd = -1;               // a source of uevent messages, taken over; -1: the kernel's (netlink)
};

// A bus on a libusb context of its own. It lists the devices the kernel has
// (sysfs), so that the list is right with or without udev, and learns of plug
// and unplug from the kernel's uevents (UsbKernel.h): waiting and listing
// again cost nothing until one comes. Where no uevents can be had it falls
// back on libusb's hotplug (udev's events), else on a look once a second.
// A device libusb's own list lacks is opened through its device node. Null
// (and *status) when libusb cannot start.
std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(UsbStatus* status = nullptr);
std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(const LibusbBusOptions& options, UsbStatus* status = nullptr);

// The transport status for a libusb error code (LIBUSB_SUCCESS, LIBUSB_ERROR_*).
UsbStatus TQ58_UsbStatusFromLibusb(int libusbCode);

#endif
