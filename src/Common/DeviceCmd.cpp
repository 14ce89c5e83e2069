#include "DeviceCmd.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxPayload = 99999999;  // what fits in the 8-digit length field

int Fail(DeviceCmd& cmd, int code)
{
  std::free(cmd.data);
  cmd.data = nullptr;
  cmd.len = 0;
  return code;
}

}  // namespace

int DeviceCmd::MakeCmd(const char* name, const char* subcommand, int n, const void* payload)
{
  Free();
  const bool hasPayload = n > 0 && payload != nullptr;
  if (hasPayload && n > kMaxPayload) return DEVICECMD_ERR_INVALID;
  const int total = kDeviceCmdHeaderSize + (hasPayload ? n : 0);

  len = total;
  data = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(total) + 2));
  if (data == nullptr) {
    len = 0;
    return DEVICECMD_ERR_NO_MEMORY;
  }
  std::memset(data, ' ', static_cast<size_t>(total));
  data[total] = 0;
  data[total + 1] = 0;
  data[0] = 0x1B;
  data[1] = 0x50;

  if (name == nullptr) return Fail(*this, DEVICECMD_ERR_INVALID);
  const size_t nameLen = std::strlen(name);
  if (nameLen > kDeviceCmdNameSize) return Fail(*this, DEVICECMD_ERR_INVALID);
  std::memcpy(data + 2, name, nameLen);

  if (subcommand != nullptr) {
    const size_t subLen = std::strlen(subcommand);
    if (subLen > kDeviceCmdSubSize) return Fail(*this, DEVICECMD_ERR_INVALID);
    std::memcpy(data + 8, subcommand, subLen);
  }
  if (!hasPayload) return DEVICECMD_OK;
  if (subcommand == nullptr) return Fail(*this, DEVICECMD_ERR_INVALID);

  char digits[16];
  std::snprintf(digits, sizeof digits, "%08d", n);
  std::memcpy(data + 24, digits, 8);
  std::memcpy(data + kDeviceCmdHeaderSize, payload, static_cast<size_t>(n));
  return DEVICECMD_OK;
}

int DeviceCmd::Free()
{
  std::free(data);
  data = nullptr;
  len = 0;
  return DEVICECMD_OK;
}
