// UTF-8 validation at the edges of what is well formed.
#include <gtest/gtest.h>

#include <string>

#include "Utf8Text.h"

namespace {

size_t Length(const std::string& bytes)
{
  return TQ58_GetUtf8SequenceLength(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(Utf8Text, AcceptsEveryLengthAtItsLimits)
{
  EXPECT_TRUE(TQ58_IsValidUtf8(""));
  EXPECT_TRUE(TQ58_IsValidUtf8(std::string("a\0b", 3)));
  EXPECT_TRUE(TQ58_IsValidUtf8("\x7F"));
  EXPECT_TRUE(TQ58_IsValidUtf8("\xC2\x80"));          // U+0080
  EXPECT_TRUE(TQ58_IsValidUtf8("\xDF\xBF"));          // U+07FF
  EXPECT_TRUE(TQ58_IsValidUtf8("\xE0\xA0\x80"));      // U+0800
  EXPECT_TRUE(TQ58_IsValidUtf8("\xED\x9F\xBF"));      // U+D7FF, below the surrogates
  EXPECT_TRUE(TQ58_IsValidUtf8("\xEE\x80\x80"));      // U+E000, above them
  EXPECT_TRUE(TQ58_IsValidUtf8("\xF0\x90\x80\x80"));  // U+10000
  EXPECT_TRUE(TQ58_IsValidUtf8("\xF4\x8F\xBF\xBF"));  // U+10FFFF
  EXPECT_TRUE(
      TQ58_IsValidUtf8("Gr\xC3\xBC\xC3\x9F"
                       "e \xE2\x82\xAC"));
  EXPECT_EQ(Length("\xF0\x9F\x98\x80!"), 4u);
}

TEST(Utf8Text, RefusesOverlongForms)
{
  EXPECT_FALSE(TQ58_IsValidUtf8("\xC0\xAF"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xC1\xBF"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xE0\x9F\xBF"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xF0\x8F\xBF\xBF"));
}

TEST(Utf8Text, RefusesSurrogatesAndWhatLiesAboveTheLastCodePoint)
{
  EXPECT_FALSE(TQ58_IsValidUtf8("\xED\xA0\x80"));  // U+D800
  EXPECT_FALSE(TQ58_IsValidUtf8("\xED\xBF\xBF"));  // U+DFFF
  EXPECT_FALSE(TQ58_IsValidUtf8("\xF4\x90\x80\x80"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xF5\x80\x80\x80"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xFF"));
}

TEST(Utf8Text, RefusesTruncatedAndStrayBytes)
{
  EXPECT_FALSE(TQ58_IsValidUtf8("\xC3"));
  EXPECT_FALSE(TQ58_IsValidUtf8("ok\xE2\x82"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xF0\x9F\x98"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\x80"));
  EXPECT_FALSE(TQ58_IsValidUtf8("\xE2\x28\xA1"));      // second byte not a continuation
  EXPECT_FALSE(TQ58_IsValidUtf8("\xF0\x9F\x28\x80"));  // third byte not a continuation
  // A sequence that runs past the bytes given is cut, even with the rest in memory.
  EXPECT_EQ(TQ58_GetUtf8SequenceLength(reinterpret_cast<const unsigned char*>("\xC3\xBC"), 1), 0u);
  EXPECT_EQ(Length(""), 0u);
}

}  // namespace
