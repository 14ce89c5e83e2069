// Fuzzes the daemon's device ID path: the input is the control reply of
// GET_DEVICE_ID (every request gets the same bytes, cut to its buffer), and
// the ID text is searched for the model into buffers of several sizes.
#include <algorithm>
#include <cstring>
#include <string>

#include "DeviceId.h"
#include "FuzzSupport.h"

namespace {

class ReplyInterface final : public UsbInterface {
public:
  ReplyInterface(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  UsbStatus BulkWrite(const unsigned char*, int, unsigned, int*) override { return kUsbRefused; }
  UsbStatus BulkRead(unsigned char*, int, unsigned, int*) override { return kUsbRefused; }
  UsbStatus ControlIn(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char* buffer, uint16_t length, unsigned,
                      int* transferred) override
  {
    const size_t n = std::min<size_t>(length, size_);
    if (n > 0) std::memcpy(buffer, data_, n);
    *transferred = static_cast<int>(n);
    return kUsbOk;
  }
  UsbStatus GetConfigurationValue(int* value) override
  {
    *value = 1;
    return kUsbOk;
  }
  UsbStatus GetInterfaceNumber(int* value) override
  {
    *value = 0;
    return kUsbOk;
  }

private:
  const uint8_t* data_;
  size_t size_;
};

void CheckModel(const std::string& id)
{
  for (size_t modelSize : {size_t{1}, size_t{5}, size_t{64}}) {
    char model[64];
    std::memset(model, 'x', sizeof model);
    if (GetModelFromDeviceId(id, model, modelSize)) fuzz::Require(std::memchr(model, '\0', modelSize) != nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  CheckModel(std::string(reinterpret_cast<const char*>(data), size));
  ReplyInterface intf(data, size);
  std::string id;
  if (GetDeviceId(&intf, 1, 0, &id, 1)) {
    fuzz::Require(id.size() + 2 <= size);
    CheckModel(id);
  }
  return 0;
}
