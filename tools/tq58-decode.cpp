// Reads a printer command stream (a file or standard input) and prints one line per packet.
#include <cstdio>
#include <vector>

#include "PacketDecoder.h"

int main(int argc, char** argv)
{
  FILE* in = argc > 1 ? std::fopen(argv[1], "rb") : stdin;
  if (in == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::vector<uint8_t> stream;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) stream.insert(stream.end(), chunk, chunk + n);
  std::vector<DecodedPacket> packets;
  std::string error;
  const bool ok = TQ58_SplitPackets(stream.data(), stream.size(), &packets, &error);
  for (const DecodedPacket& p : packets) std::printf("%8zu  %s\n", p.offset, TQ58_DescribePacket(p).c_str());
  std::printf("%zu packets, %zu bytes\n", packets.size(), stream.size());
  if (!ok) std::fprintf(stderr, "stream error: %s\n", error.c_str());
  return ok ? 0 : 2;
}
