// Follows the packet boundaries of a printer command stream that arrives in
// pieces of any size: each packet is a 32-byte header (ESC 'P', command,
// subcommand, payload length as 8 digits or 8 spaces) and its payload. The
// bytes themselves go on unchanged; the framer only tells where packets end
// and which packet ended. A header that is not well formed counts as a packet
// of its 32 bytes without payload.
#ifndef TQ58_PACKETFRAMER_H
#define TQ58_PACKETFRAMER_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "PacketHeader.h"

class PacketFramer {
public:
  struct Piece {
    size_t size = 0;         // bytes taken, all belonging to the current packet
    bool ended = false;      // the current packet ends with them
    std::string command;     // of the packet that ended, without trailing spaces
    std::string subcommand;  // likewise
  };

  // Takes bytes from data, up to the end of the current packet at most
  // (size > 0 takes at least one byte). Does not block.
  Piece Take(const unsigned char* data, size_t size);

  // A new stream begins: the next byte starts a packet.
  void Reset();

private:
  void ReadHeader();

  unsigned char header_[kPacketHeaderSize] = {};
  size_t headerFill_ = 0;
  uint64_t payloadLeft_ = 0;
  std::string command_, subcommand_;
};

#endif
