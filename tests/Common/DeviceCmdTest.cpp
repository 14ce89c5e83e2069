#include <gtest/gtest.h>

#include <string>

#include "DeviceCmd.h"

namespace {

std::string Bytes(const DeviceCmd& cmd)
{
  return std::string(reinterpret_cast<char*>(cmd.data), cmd.len);
}

const std::string kEscP = "\x1b\x50";

TEST(DeviceCmd, HeaderOnlyPacketIsThirtyTwoBytes)
{
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "START", 0, nullptr), 0);
  EXPECT_EQ(Bytes(cmd), kEscP + "CNTRL " + "START           " + "        ");
  // Two zero bytes past the end, outside the packet.
  EXPECT_EQ(cmd.data[32], 0);
  EXPECT_EQ(cmd.data[33], 0);
  cmd.Free();
}

TEST(DeviceCmd, PayloadPacketCarriesDecimalLength)
{
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "CUTTER", 8, "00000120"), 0);
  EXPECT_EQ(Bytes(cmd), kEscP + "CNTRL " + "CUTTER          " + "00000008" + "00000120");
  EXPECT_EQ(cmd.len, 40);
  cmd.Free();
}

TEST(DeviceCmd, FullWidthNameAndSubcommand)
{
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("STATUS", nullptr, 0, nullptr), 0);
  EXPECT_EQ(Bytes(cmd), kEscP + "STATUS" + std::string(24, ' '));
  ASSERT_EQ(cmd.MakeCmd("INFO", "MEDIA_CLASS_RFID", 0, nullptr), 0);
  EXPECT_EQ(Bytes(cmd), kEscP + "INFO  " + "MEDIA_CLASS_RFID" + "        ");
  cmd.Free();
}

TEST(DeviceCmd, RefusesOverlongFieldsAndPayloadWithoutSubcommand)
{
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "START", 0, nullptr), 0);
  EXPECT_EQ(cmd.MakeCmd("STATUSX", nullptr, 0, nullptr), 3);
  EXPECT_EQ(cmd.data, nullptr);
  EXPECT_EQ(cmd.len, 0);
  EXPECT_EQ(cmd.MakeCmd("INFO", "MEDIA_CLASS_RFIDX", 0, nullptr), 3);
  EXPECT_EQ(cmd.len, 0);
  EXPECT_EQ(cmd.MakeCmd("IMAGE", nullptr, 4, "abcd"), 3);
  EXPECT_EQ(cmd.data, nullptr);
  EXPECT_EQ(cmd.MakeCmd(nullptr, "START", 0, nullptr), 3);
  EXPECT_EQ(cmd.len, 0);
}

TEST(DeviceCmd, LengthWithoutPayloadIsIgnored)
{
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "DECURL", 16, nullptr), 0);
  EXPECT_EQ(Bytes(cmd), kEscP + "CNTRL " + "DECURL          " + "        ");
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "DECURL", -5, "xyz"), 0);
  EXPECT_EQ(cmd.len, 32);
  cmd.Free();
}

TEST(DeviceCmd, LargePayloadAndRebuild)
{
  std::string payload(1088, 'B');
  payload[0] = '\0';  // binary payloads are copied whole, zeros included
  DeviceCmd cmd;
  ASSERT_EQ(cmd.MakeCmd("IMAGE", "YPLANE", 1088, payload.data()), 0);
  EXPECT_EQ(Bytes(cmd).substr(24, 8), "00001088");
  EXPECT_EQ(Bytes(cmd).substr(32), payload);
  // A second build on the same object releases the first packet (checked by the sanitizer build).
  ASSERT_EQ(cmd.MakeCmd("CNTRL", "START", 0, nullptr), 0);
  EXPECT_EQ(cmd.len, 32);
  EXPECT_EQ(cmd.Free(), 0);
  EXPECT_EQ(cmd.data, nullptr);
  EXPECT_EQ(cmd.len, 0);
}

}  // namespace
