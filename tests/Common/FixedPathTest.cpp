#include <gtest/gtest.h>

#include <cstdlib>

#include "FixedPath.h"

namespace {

class FixedPathTest : public ::testing::Test {
protected:
  void TearDown() override { unsetenv("TQ58_ROOT"); }
};

TEST_F(FixedPathTest, UnsetRootLeavesPathsAsTheyStand)
{
  unsetenv("TQ58_ROOT");
  EXPECT_EQ(TQ58_FixedPath(kTQ58CacheFolder), "/Library/Caches/Pellori/TQ-58");
  setenv("TQ58_ROOT", "", 1);
  EXPECT_EQ(TQ58_FixedPath("/usr/libexec/x"), "/usr/libexec/x");
}

TEST_F(FixedPathTest, RootPrefixesEveryFixedPath)
{
  setenv("TQ58_ROOT", "/tmp/r//", 1);
  EXPECT_EQ(TQ58_FixedPath(kTQ58CacheFolder), "/tmp/r/Library/Caches/Pellori/TQ-58");
  setenv("TQ58_ROOT", "/", 1);
  EXPECT_EQ(TQ58_FixedPath("/Library"), "/Library");
}

TEST_F(FixedPathTest, BufferFormRefusesWhatDoesNotFit)
{
  setenv("TQ58_ROOT", "/tmp/r", 1);
  char out[16];
  EXPECT_EQ(TQ58_FixedPathBuf("/Library", out, sizeof out), 0);
  EXPECT_STREQ(out, "/tmp/r/Library");
  EXPECT_EQ(TQ58_FixedPathBuf("/Library/Caches", out, sizeof out), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TQ58_FixedPathBuf(nullptr, out, sizeof out), -1);
}

}  // namespace
