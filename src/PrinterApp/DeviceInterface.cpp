#include "DeviceInterface.h"

#include <chrono>

UsbStatus DeviceInterface::BulkWrite(const unsigned char* data, int size, unsigned, int* transferred)
{
  if (transferred != nullptr) *transferred = 0;
  if ((data == nullptr && size > 0) || size < 0) return kUsbInvalid;
  if (papplDeviceWrite(device_, data, static_cast<size_t>(size)) != size) return kUsbNoDevice;
  papplDeviceFlush(device_);
  if (transferred != nullptr) *transferred = size;
  return kUsbOk;
}

UsbStatus DeviceInterface::BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred)
{
  if (transferred != nullptr) *transferred = 0;
  if ((data == nullptr && size > 0) || size < 0) return kUsbInvalid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int done = 0;
  while (done < size) {
    const ssize_t n = papplDeviceRead(device_, data + done, static_cast<size_t>(size - done));
    if (n < 0) return done > 0 ? kUsbTransferError : kUsbNoDevice;
    done += static_cast<int>(n);
    if (transferred != nullptr) *transferred = done;
    if (done < size && std::chrono::steady_clock::now() >= deadline) return kUsbTimeout;
  }
  return kUsbOk;
}

UsbStatus DeviceInterface::ControlIn(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t, unsigned,
                                     int* transferred)
{
  if (transferred != nullptr) *transferred = 0;
  return kUsbRefused;
}

UsbStatus DeviceInterface::GetConfigurationValue(int* value)
{
  if (value == nullptr) return kUsbInvalid;
  *value = 1;
  return kUsbOk;
}

UsbStatus DeviceInterface::GetInterfaceNumber(int* value)
{
  if (value == nullptr) return kUsbInvalid;
  *value = 0;
  return kUsbOk;
}
