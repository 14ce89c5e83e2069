// A USB interface over a PAPPL device, so that the project's printer queries
// (PhotoPrinterIF.h) run on whatever device PAPPL opened: a USB printer or
// the emulated bus. Control requests are not offered (PAPPL reads the device
// ID itself).
#ifndef TQ58_PRINTERAPP_DEVICEINTERFACE_H
#define TQ58_PRINTERAPP_DEVICEINTERFACE_H

#include <pappl/pappl.h>

#include "UsbTransport.h"

class DeviceInterface : public UsbInterface {
public:
  explicit DeviceInterface(pappl_device_t* device) : device_(device) {}
  // Writes and flushes. Blocks until written.
  UsbStatus BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred) override;
  // Reads until size bytes came or timeoutMs passed. Blocks.
  UsbStatus BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred) override;
  UsbStatus ControlIn(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t, unsigned,
                      int* transferred) override;
  UsbStatus GetConfigurationValue(int* value) override;
  UsbStatus GetInterfaceNumber(int* value) override;

private:
  pappl_device_t* device_;
};

#endif
