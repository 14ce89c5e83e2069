// The TQ-58's USB identity: the vendor ID is the build's choice (CMake option
// TQ58_USB_VENDOR_ID), the product ID is the model's.
#ifndef TQ58_USBIDSTQ58_H
#define TQ58_USBIDSTQ58_H

#include <cstdint>

#ifndef TQ58_USB_VENDOR_ID
#error "TQ58_USB_VENDOR_ID must be set by the build"
#endif

inline constexpr uint16_t kTQ58UsbVendorId = TQ58_USB_VENDOR_ID;
inline constexpr uint16_t kTQ58UsbProductId = 12;

#endif
