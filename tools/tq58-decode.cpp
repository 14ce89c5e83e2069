// Reads a printer command stream (a file or standard input), checks every
// packet's framing and prints one line per packet. With --out DIR it also
// saves each print as a PNG and its three plane BMPs.
// Usage: tq58-decode [--out DIR] [stream-file]
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PacketDecoder.h"
#include "PrintImage.h"

int main(int argc, char** argv)
{
  std::string outDir;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) outDir = argv[++i];
    else path = argv[i];
  }
  FILE* in = path != nullptr ? std::fopen(path, "rb") : stdin;
  if (in == nullptr) {
    std::perror(path);
    return 1;
  }
  std::vector<uint8_t> stream;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) stream.insert(stream.end(), chunk, chunk + n);
  std::vector<DecodedPacket> packets;
  std::string error;
  const bool ok = TQ58_SplitPackets(stream.data(), stream.size(), &packets, &error);
  for (const DecodedPacket& p : packets) std::printf("%9zu  %s\n", p.offset, TQ58_DescribePacket(p).c_str());
  std::printf("%zu packets, %zu bytes\n", packets.size(), stream.size());
  if (!ok) {
    std::fprintf(stderr, "stream error: %s\n", error.c_str());
    return 2;
  }
  if (!outDir.empty()) {
    std::vector<std::string> written;
    const int prints = TQ58_SavePrints(packets, outDir, &written, &error);
    if (prints < 0) {
      std::fprintf(stderr, "print error: %s\n", error.c_str());
      return 2;
    }
    for (const std::string& file : written) std::printf("wrote %s\n", file.c_str());
  }
  return 0;
}
