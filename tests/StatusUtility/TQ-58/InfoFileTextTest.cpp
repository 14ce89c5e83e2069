// Reading and parsing the printer information file.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "InfoFileText.h"
#include "TempRoot.h"

namespace {

TEST(InfoFileParse, DaemonFileSetsEveryField)
{
  InfoFileValues v;
  ParseInfoText(
      "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"01000\"\nPRINTER_MESSAGE=\"00100\"\n"
      "PRINTER_VERSION=\"1.20\"\nPRINTER_SERIAL_NO=\"AB%2012\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\n"
      "MEDIA_CLASS=\"0003\"\nMEDIA_INITIAL=\"50\"\nMEDIA_REMAIN=\"25\"\n\n#COUNTER_INFORMATION\n"
      "TOTAL_COUNT=\"012\"\n\n",
      &v);
  EXPECT_EQ(v.m_modelStr_Log, "TQ-58");
  EXPECT_EQ(v.m_statusStr_Log, "01000");
  EXPECT_EQ(v.m_messageStr_Log, "00100");
  EXPECT_EQ(v.m_firmVersion_Log, "1.20");
  EXPECT_EQ(v.m_serialStr_Log, "AB 12");
  EXPECT_EQ(v.m_sizeStr_Log, "150");
  EXPECT_EQ(v.m_mediaClassStr_Log, "0003");
  EXPECT_EQ(v.m_initialStr_Log, "50");
  EXPECT_EQ(v.m_remainStr_Log, "25");
  EXPECT_EQ(v.m_totalCountStr_Log, "012");
  EXPECT_EQ(v.m_remainHalfStr_Log, "");
}

TEST(InfoFileParse, LinesAreMatchedByPrefixOnly)
{
  InfoFileValues v;
  v.m_statusStr_Log = "00000";
  v.m_modelStr_Log = "kept";
  ParseInfoText(
      " PRINTER_STATUS=\"01300\"\n"               // a leading space: not a key line
      "printer_status=\"01400\"\n"                // keys are case-sensitive
      "MEDIA_REMAIN_HALF=\"7\"\n"                 // not taken for MEDIA_REMAIN
      "MEDIA_REMAIN=\"9\"\nMEDIA_REMAIN=\"8\"\n"  // the last one wins
      "MEDIA_SIZE=\"1\"5\"0\"\n"                  // every quote goes, wherever it stands
      "PRINTER_SERIAL_NO=\"A%20%20B%2\"\n"
      "junk without equals\n=\"\"\n",
      &v);
  EXPECT_EQ(v.m_statusStr_Log, "00000");
  EXPECT_EQ(v.m_modelStr_Log, "kept");
  EXPECT_EQ(v.m_remainHalfStr_Log, "7");
  EXPECT_EQ(v.m_remainStr_Log, "8");
  EXPECT_EQ(v.m_sizeStr_Log, "150");
  EXPECT_EQ(v.m_serialStr_Log, "A  B%2");
}

TEST(InfoFileParse, PartlyWrittenFileKeepsTheMissingKeys)
{
  InfoFileValues v;
  ParseInfoText("PRINTER_STATUS=\"00000\"\nMEDIA_REMAIN=\"25\"\nTOTAL_COUNT=\"7\"\n", &v);
  ParseInfoText("PRINTER_STATUS=\"01100\"\nMEDIA_REM", &v);
  EXPECT_EQ(v.m_statusStr_Log, "01100");
  EXPECT_EQ(v.m_remainStr_Log, "25");
  EXPECT_EQ(v.m_totalCountStr_Log, "7");
  ParseInfoText("", &v);
  EXPECT_EQ(v.m_statusStr_Log, "01100");
  // An empty value is a value: it replaces the old one.
  ParseInfoText("TOTAL_COUNT=\"\"\n", &v);
  EXPECT_EQ(v.m_totalCountStr_Log, "");
}

TEST(InfoFileParse, OfflineValuesMirrorTheDaemonsOfflineFile)
{
  InfoFileValues v;
  ParseInfoText("MODEL=\"TQ-58\"\nMEDIA_SIZE=\"150\"\nTOTAL_COUNT=\"5\"\n", &v);
  SetOfflineValues(&v);
  EXPECT_EQ(v.m_statusStr_Log, "99999");
  EXPECT_EQ(v.m_messageStr_Log, "00006");
  EXPECT_EQ(v.m_modelStr_Log, "");
  EXPECT_EQ(v.m_sizeStr_Log, "");
  EXPECT_EQ(v.m_totalCountStr_Log, "");
}

TEST(InfoFileIntValue, ReadsLikeAtoiAndSaturates)
{
  EXPECT_EQ(GetIntValue("01000"), 1000);
  EXPECT_EQ(GetIntValue("  \t0002x"), 2);
  EXPECT_EQ(GetIntValue("-12"), -12);
  EXPECT_EQ(GetIntValue("+7"), 7);
  EXPECT_EQ(GetIntValue("abc"), 0);
  EXPECT_EQ(GetIntValue(""), 0);
  EXPECT_EQ(GetIntValue("- 5"), 0);
  EXPECT_EQ(GetIntValue("2147483647"), 2147483647);
  EXPECT_EQ(GetIntValue("2147483648"), 2147483647);
  EXPECT_EQ(GetIntValue("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(GetIntValue("-99999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(GetLongValue("000123456789012"), 123456789012LL);
  EXPECT_EQ(GetLongValue("99999999999999999999"), 9223372036854775807LL);
}

TEST(InfoFileUtf8, RejectsMalformedSequences)
{
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("MODEL=\"Ä€𝄞\""));
  EXPECT_TRUE(IsValidUtf8(std::string("a\0b", 3)));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("abc\xE2\x82"));       // cut in the middle of a character
  EXPECT_FALSE(IsValidUtf8("\x80"));
  EXPECT_FALSE(IsValidUtf8("\xFF"));
}

class InfoFileRead : public ::testing::Test {
protected:
  std::string Write(const std::string& name, const std::string& text) { return root.WriteFile(name, text); }
  TempRoot root;
};

TEST_F(InfoFileRead, ReadsARegularFileWhole)
{
  std::string text = "stale";
  EXPECT_TRUE(ReadInfoFile(Write("a.log", "PRINTER_STATUS=\"00000\"\n"), &text));
  EXPECT_EQ(text, "PRINTER_STATUS=\"00000\"\n");
  EXPECT_TRUE(ReadInfoFile(Write("empty.log", ""), &text));
  EXPECT_EQ(text, "");
}

TEST_F(InfoFileRead, FailsOnMissingNonUtf8AndNonRegularFiles)
{
  std::string text = "stale";
  EXPECT_FALSE(ReadInfoFile(root.Path() + "/missing.log", &text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(ReadInfoFile(Write("latin1.log", "PRINTER_SERIAL_NO=\"M\xFC\"\n"), &text));
  EXPECT_FALSE(ReadInfoFile(root.Path(), &text));
  // A FIFO planted at the path must not hang the window.
  const std::string fifo = root.Path() + "/fifo.log";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  EXPECT_FALSE(ReadInfoFile(fifo, &text));
}

TEST_F(InfoFileRead, HugeFileIsReadUpToItsLastWholeLineWithinTheLimit)
{
  std::string text = "PRINTER_STATUS=\"01000\"\n";
  while (text.size() < kMaxInfoFileBytes - 10) text += "junk junk junk junk\n";
  text += "MEDIA_SIZE=\"150\"\n";                              // crosses the limit: left out whole
  text += std::string(3 * kMaxInfoFileBytes, 'x') + "\xFF\n";  // non-UTF-8 past the limit is never looked at
  std::string read;
  ASSERT_TRUE(ReadInfoFile(Write("huge.log", text), &read));
  EXPECT_LE(read.size(), kMaxInfoFileBytes);
  EXPECT_EQ(read.back(), '\n');
  InfoFileValues v;
  ParseInfoText(read, &v);
  EXPECT_EQ(v.m_statusStr_Log, "01000");
  EXPECT_EQ(v.m_sizeStr_Log, "");
  // One line longer than the limit leaves nothing to parse, and is no failure.
  ASSERT_TRUE(ReadInfoFile(Write("oneline.log", std::string(kMaxInfoFileBytes + 5, 'y')), &read));
  EXPECT_EQ(read, "");
}

}  // namespace
