#include "DeviceRecv.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "DeviceCmd.h"
#include "TextUtil.h"

namespace {

// Offset of the first byte c in data[0 .. n), or -1.
int Find(const unsigned char* data, int n, unsigned char c)
{
  const void* p = n > 0 ? std::memchr(data, c, static_cast<size_t>(n)) : nullptr;
  return p == nullptr ? -1 : static_cast<int>(static_cast<const unsigned char*>(p) - data);
}

}  // namespace

DeviceRecv::DeviceRecv(int length_, const char* prefix_) : length(length_)
{
  prefix[0] = '\0';
  if (prefix_ != nullptr) {
    const size_t n = strnlen(prefix_, kRecvPrefixMax);
    std::memcpy(prefix, prefix_, n);
    prefix[n] = '\0';
  }
}

int DeviceRecv::GetBufferLength() const
{
  if (length == -1) return kRecvVariableView;
  if (length <= 0) return 0;
  return length > INT_MAX - 10 ? 0 : length + kRecvDigits;
}

int DeviceRecv::Alloc()
{
  Free();
  if (length == 0) return DEVICECMD_OK;
  if (length < -1) return DEVICECMD_ERR_INVALID;
  if (length > INT_MAX - 10) return DEVICECMD_ERR_NO_MEMORY;
  const size_t size = length == -1 ? kRecvVariableView + 2 : static_cast<size_t>(length) + 10;
  buffer = static_cast<unsigned char*>(std::calloc(size, 1));
  return buffer == nullptr ? DEVICECMD_ERR_NO_MEMORY : DEVICECMD_OK;
}

int DeviceRecv::Free()
{
  std::free(buffer);
  buffer = nullptr;
  return DEVICECMD_OK;
}

int DeviceRecv::CheckData() const
{
  const int view = GetBufferLength();
  if (buffer == nullptr || view < kRecvDigits) return DEVICECMD_ERR_INVALID;
  bool terminated = false;  // the data holds a CR, or stops short of the view
  if (length != -1) {
    const int declared = _TextToInt(reinterpret_cast<const char*>(buffer), kRecvDigits);
    int n = length;
    if (declared == length) {
      n = declared;
      terminated = Find(buffer, declared + kRecvDigits, '\r') >= 0;
    }
    terminated = terminated || (n != 0 && Find(buffer, n + kRecvDigits, '\0') >= 0);
  } else {
    terminated = Find(buffer, view, '\r') >= 0 || Find(buffer, view, '\0') >= 0;
  }
  if (!terminated) return DEVICECMD_ERR_INVALID;
  const size_t prefixLen = std::strlen(prefix);
  if (prefixLen == 0) return DEVICECMD_OK;
  if (kRecvDigits + prefixLen > static_cast<size_t>(view)) return DEVICECMD_ERR_INVALID;
  return std::memcmp(buffer + kRecvDigits, prefix, prefixLen) == 0 ? DEVICECMD_OK : DEVICECMD_ERR_INVALID;
}

int DeviceRecv::GetEffectiveDataAsString(char* destination, size_t destinationSize) const
{
  if (destination == nullptr || destinationSize == 0) return DEVICECMD_ERR_INVALID;
  destination[0] = '\0';
  if (length == 0) return DEVICECMD_OK;
  const int view = GetBufferLength();
  if (buffer == nullptr || view == 0) return DEVICECMD_ERR_INVALID;
  int end = Find(buffer, view, '\r');
  if (end < 0) end = Find(buffer, view, '\0');
  if (end < 0) end = view;
  const int start = kRecvDigits + static_cast<int>(std::strlen(prefix));
  if (end > start) {
    const size_t n = std::min(static_cast<size_t>(end - start), destinationSize - 1);
    std::memcpy(destination, buffer + start, n);
    destination[n] = '\0';
  }
  return DEVICECMD_OK;
}
