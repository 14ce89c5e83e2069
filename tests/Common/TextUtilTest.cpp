#include <gtest/gtest.h>

#include "TextUtil.h"

TEST(TextUtil, TextToIntLimitsAndAtoiSemantics)
{
  EXPECT_EQ(_TextToInt("12345", 3), 123);
  EXPECT_EQ(_TextToInt("12345", 512), -1);
  EXPECT_EQ(_TextToInt("12345", -1), -1);
  EXPECT_EQ(_TextToInt("12345", 511), 12345);  // stops at the terminator, never reads past it
  EXPECT_EQ(_TextToInt("00006", 5), 6);
  EXPECT_EQ(_TextToInt("ABC", 3), 0);
  EXPECT_EQ(_TextToInt("-42x", 4), -42);
  EXPECT_EQ(_TextToInt(" 7", 2), 7);
  EXPECT_EQ(_TextToInt("99", 0), 0);
  EXPECT_EQ(_TextToInt(nullptr, 3), -1);
}

TEST(TextUtil, CutTextCopiesAndTerminates)
{
  char out[8] = "XXXXXXX";
  EXPECT_EQ(_CutText(out, "ABCDEFG", 3), 0);
  EXPECT_STREQ(out, "ABC");
  _CutText(out, "Z", 0);
  EXPECT_STREQ(out, "");
}

TEST(TextUtil, LittleEndianStores)
{
  unsigned char b[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  _StoreLE2(b, 0x1234);
  EXPECT_EQ(b[0], 0x34);
  EXPECT_EQ(b[1], 0x12);
  EXPECT_EQ(b[2], 0xEE);
  _StoreLE4(b + 1, 0xA1B2C3D4u);
  EXPECT_EQ(b[1], 0xD4);
  EXPECT_EQ(b[2], 0xC3);
  EXPECT_EQ(b[3], 0xB2);
  EXPECT_EQ(b[4], 0xA1);
  EXPECT_EQ(b[5], 0xEE);
}
