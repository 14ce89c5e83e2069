// Cubic resampling: exact cases, edge taps, ownership and failures.
#include <gtest/gtest.h>

#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLib_LinuxDef.h"
#include "NvoImgLibTestBitmap.h"

using namespace imgtest;

namespace {

// Resamples a 1-row (or 1-column) grey line and returns byte 0 of each pixel.
std::vector<int> ResampleLine(const std::vector<int>& values, int newLength, bool vertical)
{
  const int n = static_cast<int>(values.size());
  Picture p(vertical ? 1 : n, vertical ? n : 1);
  for (int i = 0; i < n; ++i) {
    unsigned char* px = vertical ? p.At(0, i) : p.At(i, 0);
    px[0] = px[1] = px[2] = static_cast<unsigned char>(values[i]);
  }
  EXPECT_EQ(IL_SizeBitmap(&p.bitmap, vertical ? 1 : newLength, vertical ? newLength : 1, 4), IL_SUCCESS);
  std::vector<int> out;
  for (int i = 0; i < newLength; ++i) {
    out.push_back(vertical ? Byte(p.bitmap, 0, i) : Byte(p.bitmap, i, 0));
    EXPECT_EQ(out.back(), vertical ? Byte(p.bitmap, 0, i, 2) : Byte(p.bitmap, i, 0, 2));
  }
  return out;
}

TEST(NvoImgLibSize, SameSizeReproducesRandomBitmaps)
{
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const int w = 1 + static_cast<int>(seed * 7 % 23), h = 1 + static_cast<int>(seed * 5 % 17);
    Picture p(w, h, seed % 2);
    p.Randomize(seed);
    const std::vector<unsigned char> before = RowBytes(p.bitmap);
    ASSERT_EQ(IL_SizeBitmap(&p.bitmap, w, h, 4), IL_SUCCESS);
    EXPECT_NE(p.bitmap.bits, p.pixels.data());
    EXPECT_EQ(RowBytes(p.bitmap), before) << w << "x" << h;
  }
}

TEST(NvoImgLibSize, HalvingAnEvenWidthKeepsEveryOtherColumn)
{
  Picture even(210, 9);
  even.Randomize(11);
  Picture copy(210, 9);
  copy.pixels = even.pixels;
  ASSERT_EQ(IL_SizeBitmap(&even.bitmap, 105, 9, 4), IL_SUCCESS);
  EXPECT_EQ(even.bitmap.width, 105);
  EXPECT_EQ(even.bitmap.bytesPerLine, Stride(105, 24));
  EXPECT_EQ(even.bitmap.dataSize, Stride(105, 24) * 9ull);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 105; ++x)
      for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(Byte(even.bitmap, x, y, ch), copy.At(2 * x, y)[ch]) << x << "," << y;
}

TEST(NvoImgLibSize, TapsOutsideTheBitmapRepeatThePixelAtTheCentre)
{
  // 3 -> 4 samples at 0, 0.75, 1.5, 2.25. At 0.75 the tap at -1 reads sample
  // 0 (a mirror would read sample 1 and give 76). At 1.5 the tap at 3 reads
  // sample 1 (the edge sample 2 would give 128).
  EXPECT_EQ(ResampleLine({255, 0, 0}, 4, false), (std::vector<int>{255, 64, 0, 0}));
  EXPECT_EQ(ResampleLine({0, 0, 255}, 4, false), (std::vector<int>{0, 0, 159, 255}));
  EXPECT_EQ(ResampleLine({255, 0, 0}, 4, true), (std::vector<int>{255, 64, 0, 0}));
  EXPECT_EQ(ResampleLine({0, 0, 255}, 4, true), (std::vector<int>{0, 0, 159, 255}));
  // 2 -> 3: at 0.667 the tap at 2 reads sample 0, not the edge sample 1.
  EXPECT_EQ(ResampleLine({0, 255}, 3, false), (std::vector<int>{0, 208, 255}));
}

TEST(NvoImgLibSize, OvershootIsClampedAndRoundingIsHalfUp)
{
  // Enlarging a step: at 0.5 the sum is -0.125 * 255 (below 0), at 1.5 it is
  // 127.5 (rounds up), at 2.5 it is 1.125 * 255 (above 255).
  EXPECT_EQ(ResampleLine({0, 0, 255, 255}, 8, false), (std::vector<int>{0, 0, 0, 128, 255, 255, 255, 255}));
}

TEST(NvoImgLibSize, OwnedBlockIsReplacedAndForeignPixelsKept)
{
  Picture p(4, 4);
  p.Randomize(3);
  const std::vector<unsigned char> original = p.pixels;
  ASSERT_EQ(IL_SizeBitmap(&p.bitmap, 6, 5, 4), IL_SUCCESS);
  EXPECT_EQ(p.pixels, original);  // caller's block untouched
  EXPECT_NE(p.bitmap.memoryHandle, nullptr);
  EXPECT_EQ(p.bitmap.bits, p.bitmap.memoryHandle);
  EXPECT_EQ(p.bitmap.height, 5);
  unsigned char palette[4];
  p.bitmap.palette = palette;
  // Second resample releases the owned block (LeakSanitizer checks) and the palette.
  ASSERT_EQ(IL_SizeBitmap(&p.bitmap, 3, 2, 4), IL_SUCCESS);
  EXPECT_EQ(p.bitmap.palette, nullptr);
  EXPECT_EQ(p.bitmap.width, 3);
  EXPECT_EQ(p.bitmap.colorOrder, 1u);
  EXPECT_EQ(p.bitmap.layoutCode, 4u);
  // Row padding of the new block is defined.
  EXPECT_EQ(p.bitmap.bits[9], 0);
  EXPECT_EQ(p.bitmap.bits[10], 0);
  EXPECT_EQ(p.bitmap.bits[11], 0);
}

TEST(NvoImgLibSize, RejectsBadArgumentsWithoutChange)
{
  Picture p(4, 4);
  const _tagBITMAPHANDLE before = p.bitmap;
  EXPECT_EQ(IL_SizeBitmap(nullptr, 2, 2, 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_SizeBitmap(&p.bitmap, 0, 2, 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_SizeBitmap(&p.bitmap, 2, -1, 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_SizeBitmap(&p.bitmap, 2, 2, 3), IL_ERR_INVALID_PARAMETER);
  // The new stride would not fit 32 bits.
  EXPECT_EQ(IL_SizeBitmap(&p.bitmap, 0x7FFFFFFF, 1, 4), IL_ERR_INVALID_PARAMETER);
  _tagBITMAPHANDLE bad = p.bitmap;
  bad.colorOrder = 2;
  EXPECT_EQ(IL_SizeBitmap(&bad, 2, 2, 4), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.bitsPerPixel = 8;
  EXPECT_EQ(IL_SizeBitmap(&bad, 2, 2, 4), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.width = 5;  // inconsistent with bytesPerLine and dataSize
  EXPECT_EQ(IL_SizeBitmap(&bad, 2, 2, 4), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.bits = nullptr;
  EXPECT_EQ(IL_SizeBitmap(&bad, 2, 2, 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_TRUE(SameRecord(p.bitmap, before));
}

TEST(NvoImgLibSize, FailedAllocationLeavesTheBitmapAsItWas)
{
  Picture p(5, 5);
  p.Randomize(9);
  ASSERT_EQ(IL_SizeBitmap(&p.bitmap, 5, 5, 4), IL_SUCCESS);  // now owns a block
  const _tagBITMAPHANDLE before = p.bitmap;
  const std::vector<unsigned char> bytes = RowBytes(p.bitmap);
  for (long okBefore : {0L, 1L}) {  // output block, then the work block
    SetGlobalAllocFailAfter(okBefore);
    EXPECT_EQ(IL_SizeBitmap(&p.bitmap, 7, 3, 4), IL_ERR_NO_MEMORY);
    SetGlobalAllocFailAfter(-1);
    EXPECT_TRUE(SameRecord(p.bitmap, before));
    EXPECT_EQ(RowBytes(p.bitmap), bytes);
  }
}

}  // namespace
