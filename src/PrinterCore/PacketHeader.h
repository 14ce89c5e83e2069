// The 32-byte header of a printer command packet, written and read in one place.
//
//   offset 0   0x1B 0x50 (ESC 'P')
//   offset 2   command, 6 characters, space-filled
//   offset 8   subcommand, 16 characters, space-filled
//   offset 24  payload length as 8 decimal digits, or 8 spaces without payload
//   offset 32  payload
#ifndef TQ58_PACKETHEADER_H
#define TQ58_PACKETHEADER_H

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr size_t kPacketHeaderSize = 32;
inline constexpr size_t kPacketCommandSize = 6;
inline constexpr size_t kPacketSubcommandSize = 16;
inline constexpr uint32_t kPacketMaxPayload = 99999999;  // what 8 digits hold

// One header as read: the texts without their trailing spaces.
struct PacketHeader {
  std::string command;
  std::string subcommand;
  bool hasLength = false;    // the length field held digits (a payload of 0 bytes counts)
  uint32_t payloadSize = 0;  // 0 without a length field
};

enum class PacketHeaderCheck {
  kOk,
  kBadStart,   // the first two bytes are not ESC 'P'
  kBadLength,  // the length field is neither 8 spaces nor 8 digits
};

// Writes a header into out (kPacketHeaderSize bytes). command must not be
// null; a null subcommand is left as spaces; the length field is written only
// when hasLength is set. False, with out untouched, when command or
// subcommand is too long or payloadSize above kPacketMaxPayload. Does not block.
bool TQ58_WritePacketHeader(unsigned char* out, const char* command, const char* subcommand, bool hasLength,
                            uint32_t payloadSize);

// Reads the header at in (kPacketHeaderSize bytes) into *header. Anything
// other than kOk leaves *header empty. Does not block.
PacketHeaderCheck TQ58_ParsePacketHeader(const unsigned char* in, PacketHeader* header);

#endif
