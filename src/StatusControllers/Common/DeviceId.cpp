#include "DeviceId.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Utf8Text.h"

namespace {

constexpr uint8_t kGetDeviceIdType = 0xA1;  // device to host, class, interface
constexpr uint8_t kGetDeviceIdRequest = 0;
constexpr int kShortIdLimit = 254;  // a length field above this asks for a second request
constexpr const char* kModelKeys[] = {"MDL:", "MODEL:"};
constexpr const char* kWhiteSpace = " \t\n\v\f\r";

// One request with a buffer of length bytes; the bytes received, or -1.
int Request(UsbInterface* intf, uint16_t value, uint16_t index, std::vector<unsigned char>* buffer, unsigned timeoutMs)
{
  int received = 0;
  const UsbStatus status = intf->ControlIn(kGetDeviceIdType, kGetDeviceIdRequest, value, index, buffer->data(),
                                           static_cast<uint16_t>(buffer->size()), timeoutMs, &received);
  if (status != kUsbOk || received < 0) return -1;
  return std::min(received, static_cast<int>(buffer->size()));
}

int LengthField(const std::vector<unsigned char>& buffer)
{
  return (buffer[0] << 8) | buffer[1];
}

std::string Trimmed(const std::string& text)
{
  const size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kWhiteSpace) - first + 1);
}

bool BeginsWith(const std::string& text, const char* key)
{
  const size_t n = std::strlen(key);
  return text.size() >= n && strncasecmp(text.c_str(), key, n) == 0;
}

// The value of key in one piece of the device ID, or false.
bool PieceValue(const std::string& piece, const char* key, std::string* value)
{
  const size_t n = std::strlen(key);
  if (BeginsWith(piece, key)) {
    *value = Trimmed(piece.substr(n));
    return true;
  }
  const std::string trimmed = Trimmed(piece);
  if (!BeginsWith(trimmed, key)) return false;
  *value = trimmed.substr(n);
  return true;
}

}  // namespace

bool GetDeviceId(UsbInterface* intf, int configuration, int interfaceNumber, std::string* id, unsigned timeoutMs)
{
  if (id == nullptr) return false;
  id->clear();
  if (intf == nullptr) return false;
  const auto value = static_cast<uint16_t>((configuration - 1) & 0xFF);
  const auto index = static_cast<uint16_t>(interfaceNumber * 256);
  std::vector<unsigned char> buffer(kDeviceIdFirstLength, 0);
  int received = Request(intf, value, index, &buffer, timeoutMs);
  if (received < 2) return false;
  int length = LengthField(buffer);
  if (length < 3) return false;
  if (length > kShortIdLimit) {
    buffer.assign(static_cast<size_t>(length), 0);
    received = Request(intf, value, index, &buffer, timeoutMs);
    if (received < 2) return false;
    length = LengthField(buffer);
    if (length < 2) return false;
  }
  // A length field beyond the bytes received is cut to them.
  const int textLength = std::min(length, received) - 2;
  id->assign(reinterpret_cast<const char*>(buffer.data()) + 2, static_cast<size_t>(textLength));
  if (TQ58_IsValidUtf8(*id)) return true;
  id->clear();
  return false;
}

bool GetModelFromDeviceId(const std::string& id, char* model, size_t modelSize)
{
  if (model == nullptr || modelSize == 0) return false;
  model[0] = '\0';
  std::string value;
  bool found = false;
  for (size_t start = 0; !found && start <= id.size();) {
    size_t end = id.find(';', start);
    if (end == std::string::npos) end = id.size();
    const std::string piece = id.substr(start, end - start);
    for (const char* key : kModelKeys) {
      if ((found = PieceValue(piece, key, &value))) break;
    }
    start = end + 1;
  }
  if (!found) return false;
  size_t n = std::min(value.size(), modelSize - 1);
  // Never end on a part of a UTF-8 character.
  if (n < value.size()) {
    while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(model, value.data(), n);
  model[n] = '\0';
  return true;
}

bool GetInterfaceDeviceId(UsbInterface* intf, std::string* id, unsigned timeoutMs)
{
  int configuration = 0, number = 0;
  if (id != nullptr) id->clear();
  if (intf->GetConfigurationValue(&configuration) != kUsbOk || intf->GetInterfaceNumber(&number) != kUsbOk)
    return false;
  return GetDeviceId(intf, configuration, number, id, timeoutMs);
}
