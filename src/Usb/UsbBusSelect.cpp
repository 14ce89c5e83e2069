#include <cstdlib>

#include "UsbEmulated.h"
#include "UsbLibusb.h"
#include "UsbTransport.h"

std::unique_ptr<UsbBus> TQ58_OpenUsbBus(UsbStatus* status)
{
  const char* folder = std::getenv("TQ58_EMULATED_USB");
  if (folder != nullptr && folder[0] != '\0') {
    if (status != nullptr) *status = kUsbOk;
    return TQ58_OpenEmulatedBus(folder);
  }
  return TQ58_OpenLibusbBus(status);
}
