// The cache folder's file names and the one way they are read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "CacheFiles.h"
#include "FixedPath.h"
#include "TempRoot.h"

namespace {

TEST(CacheFiles, NamesStayInTheFolder)
{
  EXPECT_EQ(TQ58_GetJobInfoFileName("42"), "Print_42.log");
  EXPECT_EQ(TQ58_GetPrinterInfoFileName("TQ-58", "AB%2012"), "TQ-58_AB%2012.log");
  EXPECT_EQ(TQ58_GetPrinterInfoFileName("TQ-58", ""), "TQ-58.log");
  EXPECT_EQ(TQ58_GetPrinterInfoFileName("TQ-58", nullptr), "TQ-58.log");
  // The daemon's and the window's name keeps its "_" without a serial text.
  EXPECT_EQ(TQ58_GetModelInfoFileName("TQ-58", "AB%2012"), "TQ-58_AB%2012.log");
  EXPECT_EQ(TQ58_GetModelInfoFileName("TQ-58", ""), "TQ-58_.log");
  EXPECT_EQ(TQ58_GetModelInfoFileName("TQ-58", nullptr), "");
  for (const char* bad : {"..", ".", "a/b", "/x"}) {
    EXPECT_EQ(TQ58_GetJobInfoFileName(bad), "") << bad;
    EXPECT_EQ(TQ58_GetPrinterInfoFileName("TQ-58", bad), "") << bad;
    EXPECT_EQ(TQ58_GetPrinterInfoFileName(bad, "1"), "") << bad;
    EXPECT_EQ(TQ58_GetModelInfoFileName("TQ-58", bad), "") << bad;
    EXPECT_EQ(TQ58_GetModelInfoFileName(bad, "1"), "") << bad;
  }
  EXPECT_EQ(TQ58_GetJobInfoFileName(nullptr), "");
  EXPECT_EQ(TQ58_GetPrinterInfoFileName(nullptr, "1"), "");
}

TEST(CacheFiles, ReadsAPlainFileOfTheCacheFolderOnly)
{
  TempRoot root;
  const std::string folder = root.CacheFolder();
  EXPECT_EQ(TQ58_GetCacheFilePath("Print_1.log"), folder + "/Print_1.log");
  root.WriteFile(folder.substr(root.Path().size() + 1) + "/Print_1.log", "MEDIA_CLASS=\"PD\"\n");
  ASSERT_EQ(symlink((folder + "/Print_1.log").c_str(), (folder + "/Print_2.log").c_str()), 0);
  ASSERT_EQ(mkfifo((folder + "/Print_3.log").c_str(), 0600), 0);

  const SmallFileRule rule{64, false, false};
  std::string text = "stale";
  EXPECT_TRUE(TQ58_ReadCacheFile("Print_1.log", rule, &text, nullptr));
  EXPECT_EQ(text, "MEDIA_CLASS=\"PD\"\n");
  for (const char* name : {"Print_2.log", "Print_3.log", "Print_4.log", ""}) {
    EXPECT_FALSE(TQ58_ReadCacheFile(name, rule, &text, nullptr)) << name;
    EXPECT_EQ(text, "");
  }
}

TEST(CacheFiles, LongFileGivesItsHeadOrNothingByRule)
{
  TempRoot root;
  const std::string folder = root.CacheFolder();
  root.WriteFile(folder.substr(root.Path().size() + 1) + "/long.log", "0123456789");
  std::string text;
  bool cut = false;
  EXPECT_FALSE(TQ58_ReadCacheFile("long.log", SmallFileRule{9, false, false}, &text, &cut));
  EXPECT_TRUE(TQ58_ReadCacheFile("long.log", SmallFileRule{9, false, true}, &text, &cut));
  EXPECT_EQ(text, "012345678");
  EXPECT_TRUE(cut);
  EXPECT_TRUE(TQ58_ReadCacheFile("long.log", SmallFileRule{10, false, true}, &text, &cut));
  EXPECT_EQ(text, "0123456789");
  EXPECT_FALSE(cut);
}

// Another user's file counts only for a reader that does not ask for trust.
TEST(CacheFiles, TrustedRuleRefusesAnotherUsersFile)
{
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
  TempRoot root;
  const std::string folder = root.CacheFolder();
  const std::string path = root.WriteFile(folder.substr(root.Path().size() + 1) + "/TQ-58_1.log", "x");
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  std::string text;
  EXPECT_TRUE(TQ58_ReadCacheFile("TQ-58_1.log", SmallFileRule{64, false, false}, &text, nullptr));
  EXPECT_FALSE(TQ58_ReadCacheFile("TQ-58_1.log", SmallFileRule{64, true, false}, &text, nullptr));
}

}  // namespace
