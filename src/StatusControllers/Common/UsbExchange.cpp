#include "UsbExchange.h"

#include <cstring>

#include "TextUtil.h"

namespace {

constexpr int kSmallRemainder = 511;
constexpr int kTail = 256;
constexpr int kMaxChunk = 65536;

// The result code for a transfer's outcome: only a transfer that could not
// run, or a printer that is gone, fails here; a time-out or a transfer error
// leaves zeros that the reply checks catch.
int TransferResult(UsbStatus status)
{
  switch (status) {
  case kUsbOk:
  case kUsbTimeout:
  case kUsbTransferError: return DEVICECMD_OK;
  default: return DEVICECMD_ERR_PLATFORM;
  }
}

}  // namespace

int USB_Write(UsbInterface* intf, const unsigned char* data, int size, int* written, unsigned timeoutMs)
{
  if (written != nullptr) *written = 0;
  if (intf == nullptr || data == nullptr || size < 0) return DEVICECMD_ERR_PLATFORM;
  int transferred = 0;
  const int result = TransferResult(intf->BulkWrite(data, size, timeoutMs, &transferred));
  if (result == DEVICECMD_OK && written != nullptr) *written = size;
  return result;
}

int USB_Read(UsbInterface* intf, unsigned char* buffer, int size, unsigned timeoutMs)
{
  if (intf == nullptr || buffer == nullptr || size < 0) return DEVICECMD_ERR_PLATFORM;
  int transferred = 0;
  const int result = TransferResult(intf->BulkRead(buffer, size, timeoutMs, &transferred));
  if (transferred < 0 || transferred > size) transferred = 0;
  std::memset(buffer + transferred, 0, static_cast<size_t>(size - transferred));
  return result;
}

int deviceWrite(UsbInterface* intf, const unsigned char* data, int size)
{
  if (intf == nullptr || data == nullptr || size <= 0) return DEVICECMD_ERR_INVALID;
  int offset = 0;
  while (offset < size) {
    const int remaining = size - offset;
    int chunk = remaining <= kSmallRemainder ? remaining : remaining - kTail;
    if (chunk > kMaxChunk) chunk = kMaxChunk;
    int written = 0;
    const int result = USB_Write(intf, data + offset, chunk, &written);
    if (result != DEVICECMD_OK) return result;
    offset += written;
  }
  return DEVICECMD_OK;
}

int deviceWrite(UsbInterface* intf, const DeviceCmd& command)
{
  return deviceWrite(intf, command.data, command.len);
}

int deviceRead(UsbInterface* intf, unsigned char* buffer, int bufferLength)
{
  if (intf == nullptr || buffer == nullptr || bufferLength < kRecvDigits) return DEVICECMD_ERR_INVALID;
  int result = USB_Read(intf, buffer, kRecvDigits);
  if (result != DEVICECMD_OK) return result;
  for (int i = 0; i < kRecvDigits; ++i) {
    if (buffer[i] >= 0x80 || buffer[i] < '0' || buffer[i] > '9') return DEVICECMD_ERR_INVALID;
  }
  const int n = _TextToInt(reinterpret_cast<const char*>(buffer), kRecvDigits);
  if (n <= 0 || n > bufferLength - kRecvDigits) return DEVICECMD_ERR_INVALID;
  return USB_Read(intf, buffer + kRecvDigits, n);
}

int deviceRead(UsbInterface* intf, DeviceRecv* response)
{
  if (response == nullptr) return DEVICECMD_ERR_INVALID;
  response->Free();
  const int result = response->Alloc();
  if (result != DEVICECMD_OK) return result;
  return deviceRead(intf, response->buffer, response->GetBufferLength());
}

int DeviceIO(UsbInterface* intf, const DeviceCmd& command, DeviceRecv* response)
{
  if (intf == nullptr || response == nullptr) return DEVICECMD_ERR_INVALID;
  int result = deviceWrite(intf, command);
  if (result == DEVICECMD_OK) result = deviceRead(intf, response);
  if (result == DEVICECMD_OK) result = response->CheckData();
  return result;
}
