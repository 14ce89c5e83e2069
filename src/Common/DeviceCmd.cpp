#include "DeviceCmd.h"

#include <cstdlib>
#include <cstring>

#include "PacketHeader.h"

static_assert(kDeviceCmdHeaderSize == static_cast<int>(kPacketHeaderSize));
static_assert(kDeviceCmdNameSize == static_cast<int>(kPacketCommandSize));
static_assert(kDeviceCmdSubSize == static_cast<int>(kPacketSubcommandSize));

int DeviceCmd::MakeCmd(const char* name, const char* subcommand, int n, const void* payload)
{
  Free();
  const bool hasPayload = n > 0 && payload != nullptr;
  if (hasPayload && (static_cast<unsigned>(n) > kPacketMaxPayload || subcommand == nullptr)) {
    return DEVICECMD_ERR_INVALID;
  }
  const size_t total = kPacketHeaderSize + (hasPayload ? static_cast<size_t>(n) : 0);
  auto* packet = static_cast<unsigned char*>(std::malloc(total + 2));
  if (packet == nullptr) return DEVICECMD_ERR_NO_MEMORY;
  if (!TQ58_WritePacketHeader(packet, name, subcommand, hasPayload, hasPayload ? static_cast<uint32_t>(n) : 0)) {
    std::free(packet);
    return DEVICECMD_ERR_INVALID;
  }
  if (hasPayload) std::memcpy(packet + kPacketHeaderSize, payload, static_cast<size_t>(n));
  packet[total] = 0;
  packet[total + 1] = 0;
  data = packet;
  len = static_cast<int>(total);
  return DEVICECMD_OK;
}

int DeviceCmd::Free()
{
  std::free(data);
  data = nullptr;
  len = 0;
  return DEVICECMD_OK;
}
