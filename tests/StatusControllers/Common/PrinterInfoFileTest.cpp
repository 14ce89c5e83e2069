#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "CacheFolder.h"
#include "PrinterInfoFile.h"
#include "TempRoot.h"

namespace {

std::string Read(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

mode_t ModeOf(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string Compose(const PrinterInfo& info)
{
  char text[kInfoTextSize];
  EXPECT_GT(ComposeInfoFile(info, text, sizeof text), 0);
  return text;
}

// The value of key in a composed text.
std::string ValueOf(const std::string& text, const std::string& key)
{
  const size_t at = text.find("\n" + key + "=\"");
  if (at == std::string::npos) return "(missing)";
  const size_t start = at + key.size() + 3;
  return text.substr(start, text.find("\"\n", start) - start);
}

const char* const kOffline =
    "#PRINTER_INFORMATION\nMODEL=\"\"\nPRINTER_STATUS=\"99999\"\nPRINTER_MESSAGE=\"00006\"\n"
    "PRINTER_VERSION=\"\"\nPRINTER_SERIAL_NO=\"\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"\"\nMEDIA_CLASS=\"\"\n"
    "MEDIA_INITIAL=\"\"\nMEDIA_REMAIN=\"\"\n\n#COUNTER_INFORMATION\nTOTAL_COUNT=\"\"\n\n";

TEST(PrinterInfoFileTest, LiveFileHoldsTheSixteenLinesWithPrefixesDropped)
{
  PrinterInfo info;
  SetInfoValue(info.model, "TQ-58");
  SetInfoValue(info.serialNo, "AB%2012");
  info.status = 1000;
  SetInfoValue(info.firmVersion, "1.00");
  SetInfoValue(info.mediaSize, "00150");
  SetInfoValue(info.mediaClass, "0001");
  SetInfoValue(info.mediaInitial, "000000050");
  SetInfoValue(info.mediaRemain, "000000025");
  SetInfoValue(info.totalCount, "00000012");
  EXPECT_EQ(Compose(info),
            "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"01000\"\nPRINTER_MESSAGE=\"00100\"\n"
            "PRINTER_VERSION=\"1.00\"\nPRINTER_SERIAL_NO=\"AB%2012\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\n"
            "MEDIA_CLASS=\"0001\"\nMEDIA_INITIAL=\"00050\"\nMEDIA_REMAIN=\"00025\"\n\n#COUNTER_INFORMATION\n"
            "TOTAL_COUNT=\"000012\"\n\n");
}

TEST(PrinterInfoFileTest, StatusAndMessageCodes)
{
  PrinterInfo info;
  EXPECT_EQ(Compose(info), kOffline);
  info.status = 1;
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_STATUS"), "00001");
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_MESSAGE"), "00002");
  info.status = 0;
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_STATUS"), "00000");
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_MESSAGE"), "00001");
  info.status = 42;
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_STATUS"), "00042");
  EXPECT_EQ(ValueOf(Compose(info), "PRINTER_MESSAGE"), "");
}

TEST(PrinterInfoFileTest, RepliesNoLongerThanTheirPrefixGiveEmptyValues)
{
  PrinterInfo info;
  SetInfoValue(info.mediaSize, "00");
  SetInfoValue(info.mediaInitial, "0000");
  SetInfoValue(info.mediaRemain, "00001");
  SetInfoValue(info.totalCount, "0");
  const std::string text = Compose(info);
  EXPECT_EQ(ValueOf(text, "MEDIA_SIZE"), "");
  EXPECT_EQ(ValueOf(text, "MEDIA_INITIAL"), "");
  EXPECT_EQ(ValueOf(text, "MEDIA_REMAIN"), "1");
  EXPECT_EQ(ValueOf(text, "TOTAL_COUNT"), "");
  EXPECT_EQ(text.find("HALF"), std::string::npos);
}

TEST(PrinterInfoFileTest, OverlongValuesAreCutToTheirFields)
{
  PrinterInfo info;
  const std::string longText(500, 'x');
  SetInfoValue(info.model, longText.c_str());
  SetInfoValue(info.mediaClass, longText.c_str());
  SetInfoValue(info.firmVersion, longText.c_str());
  SetInfoValue(info.serialNo, longText.c_str());
  const std::string text = Compose(info);
  EXPECT_EQ(ValueOf(text, "MODEL").size(), 127u);
  EXPECT_EQ(ValueOf(text, "MEDIA_CLASS").size(), 7u);
  EXPECT_EQ(ValueOf(text, "PRINTER_VERSION").size(), 63u);
  EXPECT_EQ(ValueOf(text, "PRINTER_SERIAL_NO").size(), 63u);
  char tiny[16];
  EXPECT_EQ(ComposeInfoFile(info, tiny, sizeof tiny), -1);
}

class InfoFileWriteTest : public ::testing::Test {
protected:
  std::string Folder() const { return root_.CacheFolder(false); }
  std::string FileOf(const std::string& serial) const { return Folder() + "/TQ-58_" + serial + ".log"; }
  TempRoot root_;
};

TEST_F(InfoFileWriteTest, FirstWriteMakesBothFoldersAndTheFileWithTheirModes)
{
  WriteFile("AB%2012");
  EXPECT_EQ(ModeOf(root_.Path() + "/var/cache/pellori"), 01777u);
  EXPECT_EQ(ModeOf(Folder()), 01777u);
  EXPECT_EQ(ModeOf(FileOf("AB%2012")), 0644u);
  EXPECT_EQ(Read(FileOf("AB%2012")), kOffline);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Folder()), {}), 1);
  char path[256];
  ASSERT_EQ(GetInfoFilePath("AB%2012", path, sizeof path), 0);
  EXPECT_EQ(std::string(path), FileOf("AB%2012"));
}

TEST_F(InfoFileWriteTest, ExistingFoldersOfOursGetTheStickyModeInPlace)
{
  std::filesystem::create_directories(Folder());
  chmod((root_.Path() + "/var/cache/pellori").c_str(), 0755);
  chmod(Folder().c_str(), 0750);
  const std::string kept = root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_S9_UTIL", "");
  CheckAndMake_CacheFolder();
  EXPECT_EQ(ModeOf(root_.Path() + "/var/cache/pellori"), 01777u);
  EXPECT_EQ(ModeOf(Folder()), 01777u);
  EXPECT_TRUE(std::filesystem::exists(kept));
}

TEST_F(InfoFileWriteTest, FilesAndFifosInPlaceOfTheFoldersAreMovedAside)
{
  const std::string maker = root_.Path() + "/var/cache/pellori";
  root_.WriteFile("var/cache/pellori", "a file\n");
  CheckAndMake_CacheFolder();
  EXPECT_EQ(ModeOf(maker), 01777u);
  EXPECT_EQ(ModeOf(Folder()), 01777u);
  ASSERT_EQ(rmdir(Folder().c_str()), 0);
  ASSERT_EQ(mkfifo(Folder().c_str(), 0666), 0);
  ASSERT_EQ(WriteInfoFile("S1", "x\n"), 0);  // returns: the FIFO is never opened
  EXPECT_EQ(Read(FileOf("S1")), "x\n");
  int files = 0, fifos = 0;
  for (const std::string& folder : {root_.Path() + "/var/cache", maker}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().filename().string()[0] != '.') continue;
      files += entry.is_regular_file() && Read(entry.path().string()) == "a file\n";
      fifos += entry.is_fifo();
    }
  }
  EXPECT_EQ(files, 1);
  EXPECT_EQ(fifos, 1);
}

TEST_F(InfoFileWriteTest, PlantedLinksAreReplacedNotFollowed)
{
  root_.CacheFolder(true);
  const std::string outside = root_.WriteFile("outside/secret", "keep me");
  ASSERT_EQ(symlink(outside.c_str(), FileOf("S1").c_str()), 0);
  ASSERT_EQ(link(outside.c_str(), FileOf("S2").c_str()), 0);
  const mode_t outsideMode = ModeOf(outside);
  ASSERT_EQ(WriteInfoFile("S1", "one\n"), 0);
  ASSERT_EQ(WriteInfoFile("S2", "two\n"), 0);
  EXPECT_EQ(Read(outside), "keep me");
  EXPECT_EQ(ModeOf(outside), outsideMode);
  struct stat st;
  ASSERT_EQ(lstat(FileOf("S1").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(Read(FileOf("S1")), "one\n");
  EXPECT_EQ(Read(FileOf("S2")), "two\n");
  EXPECT_EQ(ModeOf(FileOf("S2")), 0644u);
}

TEST_F(InfoFileWriteTest, CacheFolderReplacedByALinkIsNotWrittenThrough)
{
  std::filesystem::create_directories(root_.Path() + "/var/cache/pellori");
  std::filesystem::create_directories(root_.Path() + "/elsewhere");
  ASSERT_EQ(symlink((root_.Path() + "/elsewhere").c_str(), Folder().c_str()), 0);
  EXPECT_EQ(WriteInfoFile("S1", "x\n"), 0);  // the link is moved aside, the folder made anew
  EXPECT_FALSE(std::filesystem::is_symlink(Folder()));
  EXPECT_EQ(Read(FileOf("S1")), "x\n");
  EXPECT_TRUE(std::filesystem::is_empty(root_.Path() + "/elsewhere"));
}

TEST_F(InfoFileWriteTest, UnsafeSerialTextsWriteNothing)
{
  root_.CacheFolder(true);
  for (const char* serial : {"../x", "a/b", ".", "..", "A\nB"}) {
    EXPECT_EQ(WriteInfoFile(serial, "x\n"), -1) << serial;
    char path[256];
    EXPECT_EQ(GetInfoFilePath(serial, path, sizeof path), -1) << serial;
  }
  WriteFile(nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(Folder()));
}

}  // namespace
