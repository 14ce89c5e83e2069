#include "SchemeDevice.h"

#include <cstdio>

namespace {

constexpr unsigned kWriteTimeoutMs = 5000;
constexpr unsigned kReadTimeoutMs = 2000;
constexpr size_t kTransferLimit = 65536;

SchemeDevice* GetOpen(pappl_device_t* device)
{
  return static_cast<SchemeDevice*>(papplDeviceGetData(device));
}

}  // namespace

void CloseSchemeDevice(pappl_device_t* device)
{
  delete GetOpen(device);
  papplDeviceSetData(device, nullptr);
}

ssize_t ReadSchemeDevice(pappl_device_t* device, void* buffer, size_t bytes)
{
  SchemeDevice* open = GetOpen(device);
  int transferred = 0;
  const int size = static_cast<int>(bytes > kTransferLimit ? kTransferLimit : bytes);
  const UsbStatus status =
      open->intf->BulkRead(static_cast<unsigned char*>(buffer), size, kReadTimeoutMs, &transferred);
  if (status != kUsbOk && status != kUsbTimeout) return -1;
  return transferred;
}

ssize_t WriteSchemeDevice(pappl_device_t* device, const void* buffer, size_t bytes)
{
  SchemeDevice* open = GetOpen(device);
  const auto* data = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    const size_t left = bytes - done;
    const int chunk = static_cast<int>(left > kTransferLimit ? kTransferLimit : left);
    int transferred = 0;
    const UsbStatus status = open->intf->BulkWrite(data + done, chunk, kWriteTimeoutMs, &transferred);
    if (status != kUsbOk && status != kUsbTimeout) return -1;
    done += static_cast<size_t>(transferred);
  }
  return static_cast<ssize_t>(bytes);
}

char* GetSchemeDeviceId(pappl_device_t* device, char* buffer, size_t size)
{
  std::snprintf(buffer, size, "%s", GetOpen(device)->deviceId.c_str());
  return buffer;
}
