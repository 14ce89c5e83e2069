// Bitmap records, copying and the memory layer.
#include <gtest/gtest.h>

#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLib_LinuxDef.h"
#include "NvoImgLibTestBitmap.h"

using namespace imgtest;

namespace {

int Create(_tagBITMAPHANDLE* b, unsigned w, unsigned h, int bpp, unsigned order, unsigned char* palette, void* data,
           size_t size, int structSize = kRecordSize, int kind = 2, int layout = 4)
{
  return IL_CreateBitmap(b, structSize, kind, w, h, bpp, order, palette, layout, data, size);
}

TEST(NvoImgLibCreate, StoresFieldsAndWrapsCallerMemory)
{
  std::vector<unsigned char> data(Stride(5, 24) * 3);
  _tagBITMAPHANDLE b{};
  b.memoryHandle = &data;  // must be cleared
  ASSERT_EQ(Create(&b, 5, 3, 24, 0, nullptr, data.data(), data.size()), IL_SUCCESS);
  EXPECT_EQ(b.memoryHandle, nullptr);
  EXPECT_EQ(b.bits, data.data());
  EXPECT_EQ(b.width, 5);
  EXPECT_EQ(b.height, 3);
  EXPECT_EQ(b.bitsPerPixel, 24);
  EXPECT_EQ(b.bytesPerLine, 16u);
  EXPECT_EQ(b.paletteSize, 0u);
  EXPECT_EQ(b.palette, nullptr);
  EXPECT_EQ(b.layoutCode, 4u);
  EXPECT_EQ(b.colorOrder, 0u);
  EXPECT_EQ(b.dataSize, 48u);
  IL_FreeBitmap(&b);
  EXPECT_EQ(b.bits, nullptr);
  EXPECT_EQ(data.size(), 48u);  // foreign pixels are not freed (ASan would report it)
}

TEST(NvoImgLibCreate, ColourOrderAndEightBitPalette)
{
  std::vector<unsigned char> data(Stride(3, 24) * 2);
  _tagBITMAPHANDLE b{};
  ASSERT_EQ(Create(&b, 3, 2, 24, 2, nullptr, data.data(), data.size()), IL_SUCCESS);
  EXPECT_EQ(b.colorOrder, 1u);
  ASSERT_EQ(Create(&b, 3, 2, 24, 1, nullptr, data.data(), data.size()), IL_SUCCESS);
  EXPECT_EQ(b.colorOrder, 1u);
  EXPECT_EQ(Create(&b, 3, 2, 24, 3, nullptr, data.data(), data.size()), IL_ERR_INVALID_PARAMETER);

  unsigned char palette[1024] = {};
  std::vector<unsigned char> plane(Stride(3, 8) * 2);
  ASSERT_EQ(Create(&b, 3, 2, 8, 2, palette, plane.data(), plane.size()), IL_SUCCESS);
  EXPECT_EQ(b.colorOrder, 0u);
  EXPECT_EQ(b.paletteSize, 256u);
  EXPECT_EQ(b.palette, palette);
  EXPECT_EQ(b.bytesPerLine, 4u);
  EXPECT_EQ(Create(&b, 3, 2, 8, 0, palette, plane.data(), plane.size()), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 3, 2, 8, 2, nullptr, plane.data(), plane.size()), IL_ERR_INVALID_PARAMETER);
}

TEST(NvoImgLibCreate, RejectsInOrderAndLeavesRecordUntouched)
{
  std::vector<unsigned char> data(Stride(4, 24) * 4);
  unsigned char palette[1024] = {};
  _tagBITMAPHANDLE b{};
  b.width = 77;
  const _tagBITMAPHANDLE before = b;
  EXPECT_EQ(Create(nullptr, 4, 4, 24, 1, nullptr, data.data(), data.size()), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, data.data(), data.size(), kRecordSize + 1), IL_ERR_STRUCT_SIZE);
  // The record size is checked before the memory kind, width and depth.
  EXPECT_EQ(Create(&b, 0, 4, 48, 1, nullptr, nullptr, 0, kRecordSize - 8, 1), IL_ERR_STRUCT_SIZE);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, data.data(), data.size(), kRecordSize, 1), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 0, 4, 24, 1, nullptr, data.data(), data.size()), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 4, 0, 24, 1, nullptr, data.data(), data.size()), IL_ERR_INVALID_PARAMETER);
  for (int bpp : {1, 16, 32}) {
    EXPECT_EQ(Create(&b, 4, 4, bpp, 1, nullptr, data.data(), data.size()), IL_ERR_INVALID_PARAMETER) << bpp;
  }
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, palette, data.data(), data.size()), IL_ERR_UNSUPPORTED_FORMAT);
  EXPECT_EQ(Create(&b, 4, 4, 48, 1, nullptr, data.data(), data.size()), IL_ERR_UNSUPPORTED_DEPTH);
  EXPECT_EQ(Create(&b, 4, 4, 64, 1, nullptr, data.data(), data.size()), IL_ERR_UNSUPPORTED_DEPTH);
  EXPECT_EQ(Create(&b, 4, 4, 12, 1, nullptr, data.data(), data.size()), IL_ERR_UNSUPPORTED_FORMAT);
  // Depth problems come before the layout code and the data pointer.
  EXPECT_EQ(Create(&b, 4, 4, 48, 1, nullptr, nullptr, 0, kRecordSize, 2, 3), IL_ERR_UNSUPPORTED_DEPTH);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, data.data(), data.size(), kRecordSize, 2, 3), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, nullptr, data.size()), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, data.data(), data.size() - 1), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(Create(&b, 4, 4, 24, 1, nullptr, data.data(), data.size() + 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_TRUE(SameRecord(b, before));
}

TEST(NvoImgLibCreate, RefusesSizesThatWouldWrap)
{
  unsigned char byte = 0;
  _tagBITMAPHANDLE b{};
  // 24 * width wraps in 32 bits to 8, which would give a 4-byte stride.
  EXPECT_EQ(Create(&b, 0x0AAAAAABu, 1, 24, 1, nullptr, &byte, 4), IL_ERR_INVALID_PARAMETER);
  // bytesPerLine * height (0x30000 * 0x10000) wraps in 32 bits to 0.
  EXPECT_EQ(Create(&b, 0x10000, 0x10000, 24, 1, nullptr, &byte, 0), IL_ERR_INVALID_PARAMETER);
  // Sizes above the record's signed 32-bit fields.
  EXPECT_EQ(Create(&b, 1, 0x80000000u, 24, 1, nullptr, &byte, 0x80000000ull * 4), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(b.bits, nullptr);
}

TEST(NvoImgLibFree, OwnedBlockIsReleasedAndRecordEmptied)
{
  _tagBITMAPHANDLE b{};
  const uint32_t size = Stride(2, 24) * 2;
  void* block = GlobalAlloc(0, size);
  ASSERT_EQ(Create(&b, 2, 2, 24, 1, nullptr, GlobalLock(block), size), IL_SUCCESS);
  b.memoryHandle = b.bits;
  b.palette = b.bits;
  IL_FreeBitmap(&b);
  EXPECT_EQ(b.memoryHandle, nullptr);
  EXPECT_EQ(b.bits, nullptr);
  EXPECT_EQ(b.palette, nullptr);
  EXPECT_EQ(b.width, 2);
  IL_FreeBitmap(&b);  // an empty record may be freed again
  IL_FreeBitmap(nullptr);
}

TEST(NvoImgLibCopy, SameSizeCopiesPixelsAndPalette)
{
  Picture src(3, 2), dst(3, 2);
  src.Randomize(7);
  src.Rewrap(3, 2);
  unsigned char srcPal[8] = {1, 2, 3, 4, 5, 6, 7, 8}, dstPal[12] = {};
  src.bitmap.palette = srcPal;
  src.bitmap.paletteSize = 2;
  dst.bitmap.palette = dstPal;
  dst.bitmap.paletteSize = 3;
  ASSERT_EQ(IL_CopyBitmapData(&dst.bitmap, &src.bitmap), IL_SUCCESS);
  EXPECT_EQ(dst.pixels, src.pixels);
  EXPECT_EQ(std::vector<unsigned char>(dstPal, dstPal + 12),
            (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0}));
}

TEST(NvoImgLibCopy, PaletteCopyNeverExceedsTheDestination)
{
  Picture src(1, 1), dst(1, 1);
  unsigned char srcPal[12] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}, dstPal[8] = {};
  src.bitmap.palette = srcPal;
  src.bitmap.paletteSize = 3;
  dst.bitmap.palette = dstPal;
  dst.bitmap.paletteSize = 2;
  ASSERT_EQ(IL_CopyBitmapData(&dst.bitmap, &src.bitmap), IL_SUCCESS);
  EXPECT_EQ(dstPal[7], 2);
}

TEST(NvoImgLibCopy, DifferentSizesAlignAtTopLeftOfThePicture)
{
  // Bottom-up rows: the source's last stored rows (its top) meet the
  // destination's last stored rows.
  Picture src(3, 3), dst(2, 4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) src.At(x, y)[0] = static_cast<unsigned char>(10 * y + x + 1);
  dst.Fill(0xEE);
  ASSERT_EQ(IL_CopyBitmapData(&dst.bitmap, &src.bitmap), IL_SUCCESS);
  // Copied row length is the stride of min width (2 pixels: 8 bytes), so
  // the destination rows are replaced whole, padding included.
  EXPECT_EQ(Byte(dst.bitmap, 0, 0), 0xEE);
  for (int y = 1; y < 4; ++y) {
    EXPECT_EQ(Byte(dst.bitmap, 0, y), 10 * (y - 1) + 1);
    EXPECT_EQ(Byte(dst.bitmap, 1, y), 10 * (y - 1) + 2);
  }
  Picture small(2, 1);
  ASSERT_EQ(IL_CopyBitmapData(&small.bitmap, &src.bitmap), IL_SUCCESS);
  EXPECT_EQ(Byte(small.bitmap, 0, 0), 21);  // the source's top row
  EXPECT_EQ(Byte(small.bitmap, 1, 0), 22);
}

TEST(NvoImgLibCopy, RejectsMissingOrUnsuitableBitmaps)
{
  Picture a(2, 2), b(2, 2);
  EXPECT_EQ(IL_CopyBitmapData(nullptr, &b.bitmap), IL_ERR_NO_BITMAP);
  EXPECT_EQ(IL_CopyBitmapData(&a.bitmap, nullptr), IL_ERR_NO_BITMAP);
  _tagBITMAPHANDLE empty{};
  EXPECT_EQ(IL_CopyBitmapData(&a.bitmap, &empty), IL_ERR_INVALID_PARAMETER);
  b.bitmap.bitsPerPixel = 8;
  EXPECT_EQ(IL_CopyBitmapData(&a.bitmap, &b.bitmap), IL_ERR_INVALID_PARAMETER);
  b.bitmap.bitsPerPixel = 24;
  b.bitmap.dataSize = 1000;  // claims more than its geometry
  EXPECT_EQ(IL_CopyBitmapData(&a.bitmap, &b.bitmap), IL_ERR_INVALID_PARAMETER);
}

TEST(NvoImgLibMemory, MulDivTruncatesInSixtyFourBits)
{
  EXPECT_EQ(MulDiv(7, 3, 2), 10);
  EXPECT_EQ(MulDiv(-7, 3, 2), -10);
  EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(INT32_MAX, 4, 2), -1);
}

TEST(NvoImgLibMemory, BlockCallsAndFailureSeam)
{
  HGLOBAL h = GlobalAlloc(0, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);
  auto* p = static_cast<unsigned char*>(GlobalLock(h));
  EXPECT_EQ(ZeroMemory(p, 16), p);
  EXPECT_EQ(p[15], 0);
  const unsigned char src[4] = {1, 2, 3, 4};
  EXPECT_EQ(CopyMemory(p + 2, src, 4), p + 2);
  EXPECT_EQ(p[5], 4);
  GlobalUnlock(p);
  GlobalFree(h);
  HGLOBAL zero = GlobalAlloc(0, 0);
  EXPECT_NE(zero, nullptr);
  GlobalFree(zero);

  SetGlobalAllocFailAfter(1);
  HGLOBAL first = GlobalAlloc(0, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(GlobalAlloc(0, 8), nullptr);
  EXPECT_EQ(GlobalAlloc(0, 8), nullptr);
  SetGlobalAllocFailAfter(-1);
  HGLOBAL again = GlobalAlloc(0, 8);
  EXPECT_NE(again, nullptr);
  GlobalFree(first);
  GlobalFree(again);
}

}  // namespace
