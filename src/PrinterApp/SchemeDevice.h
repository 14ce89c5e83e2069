// A printer opened through one of the application's device schemes (the USB
// bus, the emulated bus): the bus it was found on, the opened device, its
// claimed interface and its IEEE 1284 device ID, kept as PAPPL's device data.
// The callbacks below serve every such scheme.
#ifndef TQ58_PRINTERAPP_SCHEMEDEVICE_H
#define TQ58_PRINTERAPP_SCHEMEDEVICE_H

#include <pappl/pappl.h>

#include <memory>
#include <string>

#include "UsbTransport.h"

struct SchemeDevice {
  // Declared in opening order: the interface goes first, the bus last.
  std::unique_ptr<UsbBus> bus;
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> intf;
  std::string deviceId;
};

// Releases the claim and closes the device and its bus. Does not block.
void CloseSchemeDevice(pappl_device_t* device);

// Reads what the printer answers, up to bytes (at most 64 KiB at a time).
// Returns the bytes read, 0 when nothing came in the read time-out (2 s),
// -1 when the printer is gone. Blocks up to that time-out.
ssize_t ReadSchemeDevice(pappl_device_t* device, void* buffer, size_t bytes);

// Writes every byte; a printer that takes nothing for a while (busy with the
// print before) is waited for. Returns bytes, or -1 when the printer is gone.
// Blocks until written or the printer is gone.
ssize_t WriteSchemeDevice(pappl_device_t* device, const void* buffer, size_t bytes);

// The device ID read when the printer was opened. Does not block.
char* GetSchemeDeviceId(pappl_device_t* device, char* buffer, size_t size);

#endif
