// Device URI and printer information file lookups against a private scheduler.
#include <gtest/gtest.h>

#include "Common.h"
#include "CupsdFixture.h"
#include "TempRoot.h"

namespace {

class CupsQueues : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    AddQueue("TQ58_A", "file:///dev/null?serial=AB%2012");
    AddQueue("Plain", "file:///dev/null");
  }
  void AddQueue(const std::string& name, const std::string& uri)
  {
    const ProcessResult r = cupsd.Run({"lpadmin", "-p", name, "-v", uri, "-E"});
    ASSERT_EQ(r.exitCode, 0) << r.err << cupsd.ErrorLog();
  }
  PrivateCupsd cupsd;
};

TEST_F(CupsQueues, DeviceUriOfKnownAndUnknownQueues)
{
  char uri[256] = {0};
  ASSERT_EQ(_GetCupsDeviceURI("TQ58_A", uri, sizeof uri), 0);
  EXPECT_STREQ(uri, "file:///dev/null?serial=AB%2012");
  char other[256] = {0};
  EXPECT_EQ(_GetCupsDeviceURI("Missing", other, sizeof other), -1);
  EXPECT_EQ(_GetCupsDeviceURI(nullptr, other, sizeof other), -1);
  EXPECT_EQ(_GetCupsDeviceURI("TQ58_A/inst", other, sizeof other), -1);
  // The URI has 31 characters: a buffer of 31 bytes has no room for its terminator.
  char tight[32] = {0};
  EXPECT_EQ(_GetCupsDeviceURI("TQ58_A", tight, 31), -1);
  EXPECT_EQ(_GetCupsDeviceURI("TQ58_A", tight, 32), 0);
}

TEST_F(CupsQueues, PrinterInfoFileFollowsTheSerialInTheUri)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", "STATUS=\"1000\"\nMEDIA=\"PC6x4\"\n");
  root.WriteFile("var/cache/pellori/TQ-58/TQ-58.log", "STATUS=\"2000\"\n");
  char value[64] = {0};
  EXPECT_EQ(_GetValuePrinterInfoFile("TQ58_A", "MEDIA=", "TQ-58", value, sizeof value), 0);
  EXPECT_STREQ(value, "PC6x4");
  char plain[64] = {0};
  EXPECT_EQ(_GetValuePrinterInfoFile("Plain", "STATUS=", "TQ-58", plain, sizeof plain), 0);
  EXPECT_STREQ(plain, "2000");
  char none[64] = "keep";
  EXPECT_EQ(_GetValuePrinterInfoFile("Missing", "STATUS=", "TQ-58", none, sizeof none), -1);
  EXPECT_STREQ(none, "keep");
}

TEST_F(CupsQueues, SerialThatLeavesTheCacheFolderIsRefused)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/secret.log", "STATUS=\"9\"\n");
  AddQueue("Evil", "file:///dev/null?serial=/../../secret");
  char value[64] = "keep";
  EXPECT_EQ(_GetValuePrinterInfoFile("Evil", "STATUS=", "TQ-58", value, sizeof value), 0);
  EXPECT_STREQ(value, "keep");
}

}  // namespace
