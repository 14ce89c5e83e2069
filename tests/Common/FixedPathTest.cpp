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
  EXPECT_EQ(TQ58_FixedPath(kTQ58CacheFolder), "/var/cache/pellori/TQ-58");
  setenv("TQ58_ROOT", "", 1);
  EXPECT_EQ(TQ58_FixedPath("/usr/libexec/x"), "/usr/libexec/x");
}

TEST_F(FixedPathTest, RootPrefixesEveryFixedPath)
{
  setenv("TQ58_ROOT", "/tmp/r//", 1);
  EXPECT_EQ(TQ58_FixedPath(kTQ58CacheFolder), "/tmp/r/var/cache/pellori/TQ-58");
  setenv("TQ58_ROOT", "/", 1);
  EXPECT_EQ(TQ58_FixedPath("/var"), "/var");
}

TEST_F(FixedPathTest, BufferFormRefusesWhatDoesNotFit)
{
  setenv("TQ58_ROOT", "/tmp/r", 1);
  char out[16];
  EXPECT_EQ(TQ58_FixedPathBuf("/var", out, sizeof out), 0);
  EXPECT_STREQ(out, "/tmp/r/var");
  EXPECT_EQ(TQ58_FixedPathBuf("/var/cache", out, sizeof out), -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(TQ58_FixedPathBuf(nullptr, out, sizeof out), -1);
}

}  // namespace
