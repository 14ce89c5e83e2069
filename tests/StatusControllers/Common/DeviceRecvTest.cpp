#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "DeviceRecv.h"

namespace {

// Allocates the holder and puts bytes at the start of its buffer, as a read would.
void Fill(DeviceRecv* r, const std::string& bytes)
{
  ASSERT_EQ(r->Alloc(), 0);
  ASSERT_LE(bytes.size(), static_cast<size_t>(r->GetBufferLength()));
  std::memcpy(r->buffer, bytes.data(), bytes.size());
}

TEST(DeviceRecvTest, GeometryFollowsTheExpectedLength)
{
  DeviceRecv variable(-1, nullptr), status(8, nullptr), none(0, nullptr), bad(-5, nullptr);
  EXPECT_EQ(variable.GetBufferLength(), 4096);
  EXPECT_EQ(status.GetBufferLength(), 16);
  EXPECT_EQ(none.GetBufferLength(), 0);
  ASSERT_EQ(variable.Alloc(), 0);
  for (int i = 0; i < 4098; ++i) ASSERT_EQ(variable.buffer[i], 0) << i;
  EXPECT_EQ(none.Alloc(), 0);
  EXPECT_EQ(none.buffer, nullptr);
  EXPECT_EQ(bad.Alloc(), 3);
  EXPECT_EQ(bad.buffer, nullptr);
  EXPECT_EQ(variable.Free(), 0);
  EXPECT_EQ(variable.buffer, nullptr);
}

TEST(DeviceRecvTest, StatusReplyPassesWhenShortOrEndedByCarriageReturn)
{
  DeviceRecv r(8, nullptr);
  Fill(&r, "0000000501000");
  EXPECT_EQ(r.CheckData(), 0);
  Fill(&r, "000000081234567\r");
  EXPECT_EQ(r.CheckData(), 0);
  Fill(&r, "0000000812345678");  // fills the whole view: no CR, no NUL
  EXPECT_EQ(r.CheckData(), 3);
}

TEST(DeviceRecvTest, VariableReplyFillingTheViewWithoutEndFails)
{
  DeviceRecv r(-1, nullptr);
  std::string full = "00004088" + std::string(4088, 'x');
  Fill(&r, full);
  EXPECT_EQ(r.CheckData(), 3);
  full[100] = '\r';
  Fill(&r, full);
  EXPECT_EQ(r.CheckData(), 0);
}

TEST(DeviceRecvTest, ReplyTextEndsAtCarriageReturnAndIsCutToItsDestination)
{
  DeviceRecv r(-1, nullptr);
  Fill(&r, "00000007ABC\rXYZ");
  char text[64] = "old";
  EXPECT_EQ(r.GetEffectiveDataAsString(text, sizeof text), 0);
  EXPECT_STREQ(text, "ABC");
  Fill(&r, "00000010ABCDEFGHIJ");
  char small[4];
  EXPECT_EQ(r.GetEffectiveDataAsString(small, sizeof small), 0);
  EXPECT_STREQ(small, "ABC");
  EXPECT_EQ(r.GetEffectiveDataAsString(nullptr, 8), 3);
}

TEST(DeviceRecvTest, HolderWithoutDataGivesEmptyText)
{
  DeviceRecv r(0, nullptr);
  char text[8] = "old";
  EXPECT_EQ(r.GetEffectiveDataAsString(text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(r.CheckData(), 3);
}

TEST(DeviceRecvTest, PrefixIsCheckedAndLeftOutOfTheText)
{
  DeviceRecv r(-1, "OK");
  Fill(&r, "00000005OKAB\r");
  EXPECT_EQ(r.CheckData(), 0);
  char text[16];
  r.GetEffectiveDataAsString(text, sizeof text);
  EXPECT_STREQ(text, "AB");
  Fill(&r, "00000005NOAB\r");
  EXPECT_EQ(r.CheckData(), 3);
}

}  // namespace
