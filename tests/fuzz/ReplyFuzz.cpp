// Fuzzes the reply path: the length field check of deviceRead, CheckData and
// GetEffectiveDataAsString on holders of every kind, and the queries that
// parse replies (status number, serial text), all against a printer whose
// IN pipe yields the fuzz input and then times out.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "DeviceRecv.h"
#include "PhotoPrinterIF.h"
#include "SerialText.h"
#include "UsbExchange.h"

namespace {

class ScriptedInterface final : public UsbInterface {
public:
  ScriptedInterface(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  UsbStatus BulkWrite(const unsigned char*, int size, unsigned, int* transferred) override
  {
    *transferred = size;
    return kUsbOk;
  }
  UsbStatus BulkRead(unsigned char* buffer, int size, unsigned, int* transferred) override
  {
    const size_t n = std::min(static_cast<size_t>(size), size_ - pos_);
    std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    *transferred = static_cast<int>(n);
    return n == static_cast<size_t>(size) ? kUsbOk : kUsbTimeout;
  }
  UsbStatus ControlIn(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t, unsigned, int*) override
  {
    return kUsbRefused;
  }
  UsbStatus GetConfigurationValue(int*) override { return kUsbRefused; }
  UsbStatus GetInterfaceNumber(int*) override { return kUsbRefused; }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

constexpr int kLengths[] = {-1, 8, 0, 1, 5, 64, 4088, -2};

void Require(bool condition)
{
  if (!condition) std::abort();
}

// A reply read the normal way, then checked and extracted into small buffers.
void ReadAndExtract(int length, const char* prefix, const uint8_t* data, size_t size)
{
  ScriptedInterface intf(data, size);
  DeviceRecv response(length, prefix);
  if (deviceRead(&intf, &response) != 0) return;
  const int checked = response.CheckData();
  char text[64], small[8];
  Require(response.GetEffectiveDataAsString(text, sizeof text) == 0);
  Require(response.GetEffectiveDataAsString(small, sizeof small) == 0);
  Require(std::strlen(text) < sizeof text && std::strlen(small) < sizeof small);
  Require(std::strncmp(text, small, std::strlen(small)) == 0);
  (void)checked;
}

// Arbitrary bytes in the holder, as a read cut short could leave them.
void CheckRawBuffer(int length, const char* prefix, const uint8_t* data, size_t size)
{
  DeviceRecv response(length, prefix);
  if (response.Alloc() != 0 || response.buffer == nullptr) return;
  const size_t view = static_cast<size_t>(response.GetBufferLength());
  std::memcpy(response.buffer, data, std::min(size, view));
  response.CheckData();
  char text[64];
  response.GetEffectiveDataAsString(text, sizeof text);
  Require(std::strlen(text) < sizeof text);
}

void Queries(const uint8_t* data, size_t size)
{
  {
    ScriptedInterface intf(data, size);
    GetStatus(&intf);
  }
  {
    ScriptedInterface intf(data, size);
    char serial[kSerialTextSize];
    const long n = GetSerialNo(&intf, serial, sizeof serial);
    Require(n < 0 ? serial[0] == '\0' : (IsSafeSerialText(serial) && std::strlen(serial) == static_cast<size_t>(n)));
  }
  {
    ScriptedInterface intf(data, size);
    char version[8];
    const long n = GetFirmVersion(&intf, version, sizeof version);
    Require(n < static_cast<long>(sizeof version));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 2) return 0;
  const int length = kLengths[data[0] & 7];
  const int mode = (data[0] >> 3) & 3;
  char prefix[4] = {};
  const size_t prefixLen = std::min<size_t>(data[1] & 3, size - 2);
  std::memcpy(prefix, data + 2, prefixLen);
  const uint8_t* wire = data + 2 + prefixLen;
  const size_t wireSize = size - 2 - prefixLen;
  if (mode == 0) ReadAndExtract(length, prefix, wire, wireSize);
  else if (mode == 1) CheckRawBuffer(length, prefix, wire, wireSize);
  else Queries(wire, wireSize);
  return 0;
}
