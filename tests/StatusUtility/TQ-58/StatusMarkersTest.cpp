// The status window's marker files in the cache folder.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "StatusMarkers.h"
#include "TempRoot.h"

namespace {

bool Exists(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(StatusMarkerNames, SerialTextMustNameAFileInTheCacheFolder)
{
  EXPECT_EQ(GetSerialTextProblem("AB%2012"), nullptr);
  EXPECT_NE(GetSerialTextProblem(""), nullptr);
  EXPECT_NE(GetSerialTextProblem("../x"), nullptr);
  EXPECT_NE(GetSerialTextProblem("a/b"), nullptr);
  // "/Library/Caches/Pellori/TQ-58/TQ-58_" + serial + "_START_UTIL" in 128 bytes: 80 bytes of serial.
  EXPECT_EQ(GetSerialTextProblem(std::string(80, 'S')), nullptr);
  EXPECT_NE(GetSerialTextProblem(std::string(81, 'S')), nullptr);
}

TEST(StatusMarkerNames, PathsFollowTheRoot)
{
  TempRoot root;
  const std::string folder = root.CacheFolder(false);
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kUtil), folder + "/TQ-58_AB%2012_UTIL");
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kStartUtil), folder + "/TQ-58_AB%2012_START_UTIL");
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kTcUtil), folder + "/TQ-58_AB%2012_TC_UTIL");
  EXPECT_EQ(GetInfoFilePath("AB%2012"), folder + "/TQ-58_AB%2012.log");
  // The longest serial text still gets its whole path below a long root.
  const std::string longest(80, 'S');
  EXPECT_EQ(GetMarkerPath(longest, StatusMarker::kStartUtil), folder + "/TQ-58_" + longest + "_START_UTIL");
}

class StatusMarkerFiles : public ::testing::Test {
protected:
  std::string Path(StatusMarker marker) const { return GetMarkerPath("AB%2012", marker); }
  TempRoot root;
};

TEST_F(StatusMarkerFiles, CreateMakesTheFoldersAndAnEmptyFileForEveryone)
{
  umask(022);
  CreateMarker("AB%2012", StatusMarker::kUtil);
  struct stat st;
  ASSERT_EQ(stat(Path(StatusMarker::kUtil).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(st.st_size, 0);
  ASSERT_EQ(stat(root.CacheFolder(false).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0777u);
  RemoveMarker("AB%2012", StatusMarker::kUtil);
  EXPECT_FALSE(Exists(Path(StatusMarker::kUtil)));
  RemoveMarker("AB%2012", StatusMarker::kUtil);  // already gone: nothing happens
}

TEST_F(StatusMarkerFiles, SecondPressTruncatesTheFirstMarker)
{
  root.CacheFolder();
  std::ofstream(Path(StatusMarker::kTcUtil)) << "left over";
  CreateMarker("AB%2012", StatusMarker::kTcUtil);
  CreateMarker("AB%2012", StatusMarker::kTcUtil);
  struct stat st;
  ASSERT_EQ(stat(Path(StatusMarker::kTcUtil).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(StatusMarkerFiles, LinkPlantedAtTheMarkerPathIsNotFollowed)
{
  root.CacheFolder();
  const std::string victim = root.WriteFile("victim.txt", "precious");
  ASSERT_EQ(symlink(victim.c_str(), Path(StatusMarker::kStartUtil).c_str()), 0);
  CreateMarker("AB%2012", StatusMarker::kStartUtil);
  std::ifstream in(victim);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "precious");
  ASSERT_EQ(mkfifo(Path(StatusMarker::kTcUtil).c_str(), 0666), 0);
  CreateMarker("AB%2012", StatusMarker::kTcUtil);  // returns instead of waiting for a reader
}

TEST_F(StatusMarkerFiles, RefusedSerialTextWritesNothing)
{
  root.CacheFolder();
  CreateMarker("../../../../escape", StatusMarker::kUtil);
  CreateMarker(std::string(81, 'S'), StatusMarker::kUtil);
  EXPECT_FALSE(Exists(root.Path() + "/Library/escape_UTIL"));
  EXPECT_FALSE(Exists(root.CacheFolder(false) + "/TQ-58_" + std::string(81, 'S') + "_UTIL"));
}

}  // namespace
