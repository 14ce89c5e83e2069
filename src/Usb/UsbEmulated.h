// The emulated USB bus: a folder whose sub-folders are devices, each with a
// text file "device" (its descriptor values and IEEE 1284 device ID) and a
// Unix stream socket "bulk" (its bulk pipes: what is written on a connection
// is the OUT pipe, what is read is the IN pipe). A device is attached while
// both are present. The host answers GET_DEVICE_ID itself from "device".
// Opening the printer interface claims it as USB does, one claim at a time:
// an exclusive flock on the device's file "claim", held until the interface
// closes; a claim held by another open is refused at once (kUsbRefused).
#ifndef TQ58_USBEMULATED_H
#define TQ58_USBEMULATED_H

#include <memory>
#include <string>

#include "UsbTransport.h"

struct EmulatedBusOptions {
  // When not 0, every transfer time-out is cut to this many milliseconds, so
  // in-process tests of replies that never come stay short.
  unsigned maxTimeoutMs = 0;
  // How often WaitForChange rescans the folder (the bus contract allows once a second).
  unsigned rescanMs = 1000;
};

// The bus of folder. Never fails: a missing folder is a bus without devices.
std::unique_ptr<UsbBus> TQ58_OpenEmulatedBus(const std::string& folder, const EmulatedBusOptions& options = {});

// The values of one "device" file; -1 for a key that is absent or not a decimal number.
struct EmulatedDeviceFile {
  int idVendor = -1;
  int idProduct = -1;
  int configuration = -1;
  int interfaceNumber = -1;
  std::string deviceId;  // every byte after "device_id=" up to the end of its line
};

// Reads and parses a "device" file (KEY=value lines, any order, unknown keys
// ignored). False when it cannot be read. Blocks on the file system only.
bool TQ58_ReadEmulatedDeviceFile(const std::string& path, EmulatedDeviceFile* out);

#endif
