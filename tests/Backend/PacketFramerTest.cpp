// Packet boundaries in a stream that arrives in pieces of any size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BackendTestUtil.h"
#include "PacketFramer.h"

namespace {

struct Ended {
  size_t at;  // stream offset just past the packet
  std::string name;
  bool operator==(const Ended&) const = default;
};

std::vector<Ended> Frame(const std::string& stream, size_t chunk)
{
  PacketFramer framer;
  std::vector<Ended> ended;
  size_t offset = 0;
  while (offset < stream.size()) {
    const size_t n = std::min(chunk, stream.size() - offset);
    size_t used = 0;
    while (used < n) {
      const auto* p = reinterpret_cast<const unsigned char*>(stream.data() + offset + used);
      const PacketFramer::Piece piece = framer.Take(p, n - used);
      EXPECT_GT(piece.size, 0u);
      used += piece.size;
      if (piece.ended) ended.push_back({offset + used, piece.command + " " + piece.subcommand});
    }
    offset += n;
  }
  return ended;
}

TEST(PacketFramer, FindsEveryPacketEndWhateverThePieceSize)
{
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  const std::string plane = Packet("IMAGE", "YPLANE", std::string(1000, 'x'));
  const std::string start = Packet("CNTRL", "START");
  const std::string stream = clock + plane + start;
  const std::vector<Ended> expected = {{clock.size(), "CNTRL SET_SYS_TIME"},
                                       {clock.size() + plane.size(), "IMAGE YPLANE"},
                                       {stream.size(), "CNTRL START"}};
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{31}, size_t{32}, size_t{33}, size_t{4096}}) {
    EXPECT_EQ(Frame(stream, chunk), expected) << "chunk " << chunk;
  }
}

TEST(PacketFramer, MalformedHeaderIsAPacketOfItsOwn32Bytes)
{
  std::string bad(32, 'z');
  std::string badLength = Packet("CNTRL", "START");
  badLength.replace(24, 8, "12ab    ");
  const std::string start = Packet("CNTRL", "START");
  const std::vector<Ended> ended = Frame(bad + badLength + start, 5);
  ASSERT_EQ(ended.size(), 3u);
  EXPECT_EQ(ended[0], (Ended{32, " "}));
  EXPECT_EQ(ended[1], (Ended{64, " "}));  // not taken for a START
  EXPECT_EQ(ended[2], (Ended{96, "CNTRL START"}));
}

}  // namespace
