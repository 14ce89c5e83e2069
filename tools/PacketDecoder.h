// Splits a printer command stream into packets and describes each in words.
// Used by the decode tool, the demo and the tests; the emulator reads streams with it.
#ifndef TQ58_PACKETDECODER_H
#define TQ58_PACKETDECODER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecodedPacket {
  size_t offset = 0;        // where the packet starts in the stream
  std::string command;      // name without the trailing spaces
  std::string subcommand;   // subcommand without the trailing spaces
  bool hasPayload = false;  // the length field held digits
  std::vector<uint8_t> payload;
};

// Splits data into packets. Returns false and sets error at the first packet
// that is not well formed (bad start bytes, a length field that is neither
// spaces nor 8 digits, a payload running past the end).
bool TQ58_SplitPackets(const uint8_t* data, size_t size, std::vector<DecodedPacket>* packets, std::string* error);

// One line of readable text for a packet, e.g. "CNTRL OVERCOAT    finish Luster (22)".
std::string TQ58_DescribePacket(const DecodedPacket& packet);

#endif
