// Reads a printer command stream (a file or standard input), checks every
// packet's framing and prints one line per packet. With --out DIR it also
// saves each print as a PNG and its three plane BMPs.
// Usage: tq58-decode [--out DIR] [stream-file]
#include <cstdio>
#include <string>
#include <vector>

#include "PacketDecoder.h"
#include "PrintImage.h"
#include "StandardOptions.h"

namespace {

const char* const kHelp =
    "Usage: tq58-decode [--out DIR] [STREAM-FILE]\n"
    "\n"
    "Reads a TQ-58 printer command stream (STREAM-FILE, or standard input),\n"
    "checks every packet's framing and prints one line per packet. Exit status\n"
    "2 when the stream or a print in it is malformed.\n"
    "\n"
    "Options:\n"
    "  --out DIR    also save each print as a PNG and its three plane BMPs in DIR\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-decode", kHelp, {{"--out", 1}}, 0, 1};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  std::string outDir;
  for (const GivenOption& option : command.options) outDir = option.values[0];
  const char* path = command.operands.empty() ? nullptr : command.operands[0].c_str();
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
