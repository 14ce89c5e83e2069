// The packet header: what the writer makes, the parser reads back, and the
// headers the parser refuses.
#include <gtest/gtest.h>

#include <string>

#include "PacketHeader.h"

namespace {

std::string Write(const char* command, const char* subcommand, bool hasLength, uint32_t size)
{
  unsigned char header[kPacketHeaderSize];
  if (!TQ58_WritePacketHeader(header, command, subcommand, hasLength, size)) return "refused";
  return std::string(reinterpret_cast<const char*>(header), sizeof header);
}

PacketHeaderCheck Parse(const std::string& bytes, PacketHeader* header)
{
  return TQ58_ParsePacketHeader(reinterpret_cast<const unsigned char*>(bytes.data()), header);
}

TEST(PacketHeader, WrittenFieldsAreSpaceFilledWithEightDigitLength)
{
  EXPECT_EQ(Write("CNTRL", "CUTTER", true, 8), std::string("\x1B") + "PCNTRL CUTTER          00000008");
  EXPECT_EQ(Write("STATUS", nullptr, false, 0), std::string("\x1B") + "PSTATUS" + std::string(24, ' '));
  EXPECT_EQ(Write("IMAGE", nullptr, true, 0), std::string("\x1B") + "PIMAGE " + std::string(16, ' ') + "00000000");
  EXPECT_EQ(Write("INFO", "MEDIA_CLASS_RFID", true, kPacketMaxPayload),
            std::string("\x1B") + "PINFO  MEDIA_CLASS_RFID99999999");
}

TEST(PacketHeader, WriterRefusesWhatDoesNotFit)
{
  EXPECT_EQ(Write("CONTROL", nullptr, false, 0), "refused");
  EXPECT_EQ(Write("INFO", "MEDIA_CLASS_RFID_", false, 0), "refused");
  EXPECT_EQ(Write("CNTRL", "START", true, kPacketMaxPayload + 1), "refused");
  EXPECT_EQ(Write(nullptr, "START", false, 0), "refused");
  // The length limit holds for a written length only.
  EXPECT_NE(Write("CNTRL", "START", false, kPacketMaxPayload + 1), "refused");
}

TEST(PacketHeader, ParserReadsBackWhatTheWriterWrote)
{
  struct Case {
    const char* command;
    const char* subcommand;
    bool hasLength;
    uint32_t size;
  };
  const Case cases[] = {{"CNTRL", "OVERCOAT", true, 2},      {"STATUS", "", false, 0},
                        {"IMAGE", "", true, 13501088},       {"INFO", "MEDIA_CLASS_RFID", false, 0},
                        {"A", "B", true, kPacketMaxPayload}, {"", "", true, 0}};
  for (const Case& c : cases) {
    PacketHeader header;
    ASSERT_EQ(Parse(Write(c.command, c.subcommand, c.hasLength, c.size), &header), PacketHeaderCheck::kOk) << c.command;
    EXPECT_EQ(header.command, c.command);
    EXPECT_EQ(header.subcommand, c.subcommand);
    EXPECT_EQ(header.hasLength, c.hasLength);
    EXPECT_EQ(header.payloadSize, c.size);
  }
}

TEST(PacketHeader, ParserRefusesBadStartAndBadLengthAndLeavesNothing)
{
  const std::string good = Write("CNTRL", "START", true, 12);
  PacketHeader header;
  header.command = "stale";

  std::string bad = good;
  bad[0] = 'x';
  EXPECT_EQ(Parse(bad, &header), PacketHeaderCheck::kBadStart);
  EXPECT_TRUE(header.command.empty());
  bad = good;
  bad[1] = 'p';
  EXPECT_EQ(Parse(bad, &header), PacketHeaderCheck::kBadStart);

  // Digits and spaces mixed, a sign, a letter: neither 8 spaces nor 8 digits.
  for (const char* length : {"0000001 ", " 0000001", "+0000001", "0000000A", "       1"}) {
    bad = good.substr(0, 24) + length;
    EXPECT_EQ(Parse(bad, &header), PacketHeaderCheck::kBadLength) << length;
    EXPECT_TRUE(header.command.empty());
    EXPECT_EQ(header.payloadSize, 0u);
  }
}

TEST(PacketHeader, ParserKeepsInnerSpacesAndDropsTrailingOnes)
{
  PacketHeader header;
  const std::string bytes = std::string("\x1BP") + "A B   " + " X  Y           " + "        ";
  ASSERT_EQ(Parse(bytes, &header), PacketHeaderCheck::kOk);
  EXPECT_EQ(header.command, "A B");
  EXPECT_EQ(header.subcommand, " X  Y");
  EXPECT_FALSE(header.hasLength);
}

}  // namespace
