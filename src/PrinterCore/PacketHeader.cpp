#include "PacketHeader.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kCommandAt = 2;
constexpr size_t kSubcommandAt = kCommandAt + kPacketCommandSize;
constexpr size_t kLengthAt = kSubcommandAt + kPacketSubcommandSize;
constexpr size_t kLengthDigits = kPacketHeaderSize - kLengthAt;

std::string WithoutTrailingSpaces(const unsigned char* p, size_t n)
{
  while (n > 0 && p[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

}  // namespace

bool TQ58_WritePacketHeader(unsigned char* out, const char* command, const char* subcommand, bool hasLength,
                            uint32_t payloadSize)
{
  if (out == nullptr || command == nullptr) return false;
  const size_t commandLength = std::strlen(command);
  const size_t subcommandLength = subcommand != nullptr ? std::strlen(subcommand) : 0;
  if (commandLength > kPacketCommandSize || subcommandLength > kPacketSubcommandSize) return false;
  if (hasLength && payloadSize > kPacketMaxPayload) return false;
  std::memset(out, ' ', kPacketHeaderSize);
  out[0] = 0x1B;
  out[1] = 0x50;
  std::memcpy(out + kCommandAt, command, commandLength);
  if (subcommandLength > 0) std::memcpy(out + kSubcommandAt, subcommand, subcommandLength);
  if (hasLength) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(payloadSize));
    std::memcpy(out + kLengthAt, digits, kLengthDigits);
  }
  return true;
}

PacketHeaderCheck TQ58_ParsePacketHeader(const unsigned char* in, PacketHeader* header)
{
  *header = PacketHeader();
  if (in[0] != 0x1B || in[1] != 0x50) return PacketHeaderCheck::kBadStart;
  bool spaces = true, digits = true;
  uint32_t n = 0;
  for (size_t i = kLengthAt; i < kPacketHeaderSize; ++i) {
    spaces = spaces && in[i] == ' ';
    digits = digits && in[i] >= '0' && in[i] <= '9';
    if (digits) n = n * 10 + static_cast<uint32_t>(in[i] - '0');
  }
  if (!spaces && !digits) return PacketHeaderCheck::kBadLength;
  header->command = WithoutTrailingSpaces(in + kCommandAt, kPacketCommandSize);
  header->subcommand = WithoutTrailingSpaces(in + kSubcommandAt, kPacketSubcommandSize);
  header->hasLength = digits;
  header->payloadSize = digits ? n : 0;
  return PacketHeaderCheck::kOk;
}
