// The libusb-1.0 adapter of the USB transport. libusb.h stays inside its .cpp.
#ifndef TQ58_USBLIBUSB_H
#define TQ58_USBLIBUSB_H

#include <memory>

#include "UsbTransport.h"

// A bus on a libusb context of its own, watching plug and unplug through
// hotplug where libusb offers it. Null (and *status) when libusb cannot start.
std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(UsbStatus* status = nullptr);

// The transport status for a libusb error code (LIBUSB_SUCCESS, LIBUSB_ERROR_*).
UsbStatus TQ58_UsbStatusFromLibusb(int libusbCode);

#endif
