// Plane separation and merging.
#include <gtest/gtest.h>

#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLib_LinuxDef.h"
#include "NvoImgLibTestBitmap.h"

using namespace imgtest;

namespace {

TEST(NvoImgLibSeparate, PlaneRecordsAndContents)
{
  for (unsigned order : {0u, 1u}) {
    Picture p(5, 3, order);
    p.Randomize(40 + order);
    p.bitmap.layoutCode = 4;
    Planes planes;
    ASSERT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
    for (int k = 0; k < 3; ++k) {
      const _tagBITMAPHANDLE& q = planes.record[k];
      EXPECT_EQ(q.memoryHandle, q.bits);
      EXPECT_EQ(q.palette, q.bits + 8 * 3);
      EXPECT_EQ(q.width, 5);
      EXPECT_EQ(q.height, 3);
      EXPECT_EQ(q.bitsPerPixel, 8);
      EXPECT_EQ(q.bytesPerLine, 8u);
      EXPECT_EQ(q.paletteSize, 256u);
      EXPECT_EQ(q.colorOrder, 0u);
      EXPECT_EQ(q.layoutCode, 4u);
      EXPECT_EQ(q.dataSize, 24u);
      for (int e = 0; e < 256; ++e)
        for (int b = 0; b < 3; ++b) ASSERT_EQ(q.palette[4 * e + b], e);
      const int sourceByte = order == 1 ? k : 2 - k;
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) ASSERT_EQ(q.bits[y * 8 + x], p.At(x, y)[sourceByte]);
    }
  }
}

TEST(NvoImgLibSeparate, RoundTripOnRandomBitmapsOfBothOrders)
{
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    const unsigned order = seed % 2;
    const int w = 1 + static_cast<int>(seed * 5 % 13), h = 1 + static_cast<int>(seed % 4);
    Picture p(w, h, order);
    p.Randomize(seed);
    Planes planes;
    Owned merged;
    ASSERT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
    ASSERT_EQ(IL_ColorMergeBitmap(&merged.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
    EXPECT_EQ(merged.bitmap.colorOrder, 1u);
    EXPECT_EQ(merged.bitmap.bitsPerPixel, 24);
    EXPECT_EQ(merged.bitmap.bytesPerLine, Stride(w, 24));
    EXPECT_EQ(merged.bitmap.dataSize, static_cast<uint64_t>(Stride(w, 24)) * h);
    std::vector<unsigned char> expected = RowBytes(p.bitmap);
    if (order == 0) {
      for (size_t i = 0; i < expected.size(); i += 3) std::swap(expected[i], expected[i + 2]);
    }
    EXPECT_EQ(RowBytes(merged.bitmap), expected) << "seed " << seed;
  }
}

TEST(NvoImgLibMerge, PalettesReachThePixels)
{
  Picture p(3, 2);
  p.Randomize(8);
  Planes planes;
  ASSERT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapIntensity(&planes.record[0], 1000), IL_SUCCESS);  // +255: white
  for (int e = 0; e < 256; ++e) {
    planes.record[1].palette[4 * e] = 0;  // bytes other than byte k are not used
    planes.record[1].palette[4 * e + 1] = static_cast<unsigned char>(255 - e);
  }
  Owned merged;
  unsigned char keep[4];
  merged.bitmap.palette = keep;
  merged.bitmap.paletteSize = 7;
  ASSERT_EQ(IL_ColorMergeBitmap(&merged.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
  EXPECT_EQ(merged.bitmap.palette, keep);
  EXPECT_EQ(merged.bitmap.paletteSize, 7u);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(Byte(merged.bitmap, x, y, 0), 255);
      EXPECT_EQ(Byte(merged.bitmap, x, y, 1), 255 - p.At(x, y)[1]);
      EXPECT_EQ(Byte(merged.bitmap, x, y, 2), p.At(x, y)[2]);
    }
  }
  merged.bitmap.palette = nullptr;
}

TEST(NvoImgLibSeparate, ValidatesAndFailsWithoutTouchingThePlanes)
{
  Picture p(4, 2);
  Planes planes;
  _tagBITMAPHANDLE* some[3] = {planes.ptr[0], planes.ptr[1], nullptr};
  EXPECT_EQ(IL_ColorSeparateBitmap(nullptr, planes.ptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize - 1, 0), IL_ERR_STRUCT_SIZE);
  EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, nullptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, some, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 1), IL_ERR_INVALID_PARAMETER);
  _tagBITMAPHANDLE bad = p.bitmap;
  bad.colorOrder = 2;
  EXPECT_EQ(IL_ColorSeparateBitmap(&bad, planes.ptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.bitsPerPixel = 8;
  EXPECT_EQ(IL_ColorSeparateBitmap(&bad, planes.ptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  for (long okBefore : {0L, 1L, 2L}) {
    SetGlobalAllocFailAfter(okBefore);
    EXPECT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 0), IL_ERR_NO_MEMORY);
    SetGlobalAllocFailAfter(-1);
  }
  const _tagBITMAPHANDLE empty{};
  for (const auto& r : planes.record) EXPECT_TRUE(SameRecord(r, empty));
  bad = p.bitmap;
  bad.height = 0;
  bad.dataSize = 0;
  EXPECT_EQ(IL_ColorSeparateBitmap(&bad, planes.ptr, kRecordSize, 0), IL_SUCCESS);
  EXPECT_EQ(planes.record[2].height, 0);
}

TEST(NvoImgLibMerge, RejectsMismatchedPlanes)
{
  Picture p(4, 2), other(5, 2);
  Planes planes, wide;
  ASSERT_EQ(IL_ColorSeparateBitmap(&p.bitmap, planes.ptr, kRecordSize, 0), IL_SUCCESS);
  ASSERT_EQ(IL_ColorSeparateBitmap(&other.bitmap, wide.ptr, kRecordSize, 0), IL_SUCCESS);
  Owned target;
  _tagBITMAPHANDLE* mixed[3] = {planes.ptr[0], wide.ptr[1], planes.ptr[2]};
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, mixed, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  const auto breakers = {
      +[](_tagBITMAPHANDLE& b) { b.height = 1; },        +[](_tagBITMAPHANDLE& b) { b.bitsPerPixel = 24; },
      +[](_tagBITMAPHANDLE& b) { b.bytesPerLine = 8; },  +[](_tagBITMAPHANDLE& b) { b.paletteSize = 16; },
      +[](_tagBITMAPHANDLE& b) { b.palette = nullptr; }, +[](_tagBITMAPHANDLE& b) { b.colorOrder = 1; },
      +[](_tagBITMAPHANDLE& b) { b.layoutCode = 3; },    +[](_tagBITMAPHANDLE& b) { b.dataSize = 9; }};
  for (auto breakIt : breakers) {
    _tagBITMAPHANDLE changed = planes.record[2];
    breakIt(changed);
    _tagBITMAPHANDLE* set[3] = {planes.ptr[0], planes.ptr[1], &changed};
    EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, set, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  }
  _tagBITMAPHANDLE noBits = planes.record[1];
  noBits.bits = nullptr;
  _tagBITMAPHANDLE* missing[3] = {planes.ptr[0], &noBits, planes.ptr[2]};
  _tagBITMAPHANDLE* nullPlane[3] = {planes.ptr[0], nullptr, planes.ptr[2]};
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, missing, kRecordSize, 0), IL_ERR_NO_BITMAP);
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, nullPlane, kRecordSize, 1), IL_ERR_NO_BITMAP);
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, planes.ptr, kRecordSize, 1), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, nullptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, planes.ptr, 0, 0), IL_ERR_STRUCT_SIZE);
  EXPECT_EQ(IL_ColorMergeBitmap(nullptr, planes.ptr, kRecordSize, 0), IL_ERR_INVALID_PARAMETER);
  SetGlobalAllocFailAfter(0);
  EXPECT_EQ(IL_ColorMergeBitmap(&target.bitmap, planes.ptr, kRecordSize, 0), IL_ERR_NO_MEMORY);
  SetGlobalAllocFailAfter(-1);
  EXPECT_TRUE(SameRecord(target.bitmap, _tagBITMAPHANDLE{}));
}

}  // namespace
