#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "MarkerFiles.h"
#include "TempRoot.h"

namespace {

class MarkerFilesTest : public ::testing::Test {
protected:
  void Touch(const std::string& name) { root_.WriteFile("var/cache/pellori/TQ-58/" + name, ""); }
  bool Exists(const std::string& name) const { return std::filesystem::exists(root_.CacheFolder(false) + "/" + name); }
  TempRoot root_;
};

TEST_F(MarkerFilesTest, LastingMarkersAreCountedAndKept)
{
  Touch("TQ-58_S_PDE_1234");
  Touch("TQ-58_S_UTIL");
  EXPECT_EQ(pdeFileCheck("S"), kMarkerPde | kMarkerUtil);
  EXPECT_TRUE(Exists("TQ-58_S_PDE_1234"));
  EXPECT_TRUE(Exists("TQ-58_S_UTIL"));
  EXPECT_EQ(pdeFileCheck("S"), kMarkerPde | kMarkerUtil);
}

TEST_F(MarkerFilesTest, OneTimeMarkersAreConsumed)
{
  Touch("TQ-58_S_TC_PDE");
  Touch("TQ-58_S_TC_UTIL");
  Touch("TQ-58_S_START_UTIL");
  EXPECT_EQ(pdeFileCheck("S"), kMarkerTcPde | kMarkerTcUtil | kMarkerStartUtil);
  EXPECT_FALSE(Exists("TQ-58_S_TC_PDE"));
  EXPECT_FALSE(Exists("TQ-58_S_TC_UTIL"));
  EXPECT_FALSE(Exists("TQ-58_S_START_UTIL"));
  EXPECT_EQ(pdeFileCheck("S"), 0);
}

TEST_F(MarkerFilesTest, UtilNameDoesNotMatchTheLongerMarkers)
{
  Touch("TQ-58_S_TC_UTIL");
  EXPECT_EQ(pdeFileCheck("S"), kMarkerTcUtil);
  Touch("TQ-58_S_START_UTIL");
  EXPECT_EQ(pdeFileCheck("S"), kMarkerStartUtil);
}

TEST_F(MarkerFilesTest, OtherPrintersMarkersAreLeftAlone)
{
  Touch("TQ-58_S2_TC_UTIL");
  Touch("TQ-58_S2_UTIL");
  Touch("TQ-58_S.log");
  EXPECT_EQ(pdeFileCheck("S"), 0);
  EXPECT_TRUE(Exists("TQ-58_S2_TC_UTIL"));
  EXPECT_EQ(pdeFileCheck("S2"), kMarkerUtil | kMarkerTcUtil);
}

TEST_F(MarkerFilesTest, MissingFolderOrUnsafeSerialFindsNothing)
{
  EXPECT_EQ(pdeFileCheck("S"), 0);
  Touch("TQ-58_.._TC_UTIL");
  EXPECT_EQ(pdeFileCheck(".."), 0);
  EXPECT_TRUE(Exists("TQ-58_.._TC_UTIL"));
  EXPECT_EQ(pdeFileCheck(nullptr), 0);
}

}  // namespace
