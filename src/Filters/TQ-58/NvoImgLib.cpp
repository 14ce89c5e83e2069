// Bitmap records: creation, release, copying, and the shared block helpers.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"
#include "NvoImgLib_LinuxDef.h"

namespace nvoimg {

bool RowStride(int64_t width, int bitsPerPixel, uint32_t* stride)
{
  if (width < 0 || bitsPerPixel <= 0) {
    return false;
  }
  const uint64_t bytes = (static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 31) / 32 * 4;
  if (bytes > UINT32_MAX) {
    return false;
  }
  *stride = static_cast<uint32_t>(bytes);
  return true;
}

bool HasSaneGeometry(const _tagBITMAPHANDLE& bitmap)
{
  uint32_t stride = 0;
  if (bitmap.height < 0 || !RowStride(bitmap.width, bitmap.bitsPerPixel, &stride)) {
    return false;
  }
  return bitmap.bytesPerLine == stride &&
         bitmap.dataSize == static_cast<uint64_t>(stride) * static_cast<uint64_t>(bitmap.height);
}

unsigned char* AllocBlock(uint64_t size, void** handle)
{
  if (size > SIZE_MAX) {
    return nullptr;
  }
  HGLOBAL block = GlobalAlloc(0, static_cast<size_t>(size));
  if (block == nullptr) {
    return nullptr;
  }
  auto* bits = static_cast<unsigned char*>(GlobalLock(block));
  if (bits == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  *handle = block;
  return bits;
}

void ReleaseBlock(void* handle, void* bits)
{
  GlobalUnlock(bits);
  GlobalFree(handle);
}

}  // namespace nvoimg

namespace {

// Steps 5 of the creation checks: depth, palette and colour order. On success
// sets the colour order to store.
int CheckDepth(int bitsPerPixel, unsigned int colorOrder, const unsigned char* palette, unsigned int* storedOrder)
{
  switch (bitsPerPixel) {
  case 1:
  case 16:
  case 32: return IL_ERR_INVALID_PARAMETER;
  case 8:
    if (colorOrder != 2 || palette == nullptr) {
      return IL_ERR_INVALID_PARAMETER;
    }
    *storedOrder = 0;
    return IL_SUCCESS;
  case 24:
    if (palette != nullptr) {
      return IL_ERR_UNSUPPORTED_FORMAT;
    }
    if (colorOrder > 2) {
      return IL_ERR_INVALID_PARAMETER;
    }
    *storedOrder = colorOrder == 2 ? 1 : colorOrder;
    return IL_SUCCESS;
  case 48:
  case 64: return IL_ERR_UNSUPPORTED_DEPTH;
  default: return IL_ERR_UNSUPPORTED_FORMAT;
  }
}

}  // namespace

int IL_CreateBitmap(_tagBITMAPHANDLE* bitmap, int structSize, int memoryKind, unsigned int width, unsigned int height,
                    int bitsPerPixel, unsigned int colorOrder, unsigned char* palette, int layoutCode, void* data,
                    size_t dataSize)
{
  if (bitmap == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  if (structSize != nvoimg::kRecordSize) {
    return IL_ERR_STRUCT_SIZE;
  }
  if (memoryKind != 2 || width == 0 || height == 0) {
    return IL_ERR_INVALID_PARAMETER;
  }
  unsigned int storedOrder = 0;
  const int depthResult = CheckDepth(bitsPerPixel, colorOrder, palette, &storedOrder);
  if (depthResult != IL_SUCCESS) {
    return depthResult;
  }
  if (layoutCode != 4 || data == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  // Sizes that would not fit the record's 32-bit fields are refused rather
  // than wrapped into a stride that understates the block.
  uint32_t stride = 0;
  if (width > INT32_MAX || height > INT32_MAX || !nvoimg::RowStride(width, bitsPerPixel, &stride) ||
      static_cast<uint64_t>(stride) * height != dataSize) {
    return IL_ERR_INVALID_PARAMETER;
  }
  bitmap->memoryHandle = nullptr;
  bitmap->bits = static_cast<unsigned char*>(data);
  bitmap->palette = palette;
  bitmap->width = static_cast<int32_t>(width);
  bitmap->height = static_cast<int32_t>(height);
  bitmap->bitsPerPixel = bitsPerPixel;
  bitmap->bytesPerLine = stride;
  bitmap->paletteSize = bitsPerPixel == 8 ? 256 : 0;
  bitmap->colorOrder = storedOrder;
  bitmap->layoutCode = 4;
  bitmap->dataSize = dataSize;
  return IL_SUCCESS;
}

void IL_FreeBitmap(_tagBITMAPHANDLE* bitmap)
{
  if (bitmap == nullptr) {
    return;
  }
  if (bitmap->memoryHandle != nullptr) {
    if (bitmap->bits != nullptr) {
      GlobalUnlock(bitmap->bits);
    }
    GlobalFree(bitmap->memoryHandle);
    bitmap->memoryHandle = nullptr;
  }
  bitmap->bits = nullptr;
  bitmap->palette = nullptr;
}

int IL_CopyBitmapData(_tagBITMAPHANDLE* dst, _tagBITMAPHANDLE* src)
{
  if (dst == nullptr || src == nullptr) {
    return IL_ERR_NO_BITMAP;
  }
  if (dst->bits == nullptr || src->bits == nullptr || dst->bitsPerPixel != 24 || src->bitsPerPixel != 24 ||
      !nvoimg::HasSaneGeometry(*dst) || !nvoimg::HasSaneGeometry(*src)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  if (src->paletteSize != 0 && dst->paletteSize != 0 && src->palette != nullptr && dst->palette != nullptr) {
    // Never more entries than the destination holds.
    const uint64_t entries = std::min(src->paletteSize, dst->paletteSize);
    CopyMemory(dst->palette, src->palette, static_cast<size_t>(entries * 4));
  }
  if (src->width == dst->width && src->height == dst->height) {
    CopyMemory(dst->bits, src->bits, static_cast<size_t>(src->dataSize));
    return IL_SUCCESS;
  }
  const int32_t rows = std::min(src->height, dst->height);
  const int32_t srcFirst = std::max(src->height - dst->height, 0);
  const int32_t dstFirst = std::max(dst->height - src->height, 0);
  uint32_t rowBytes = 0;
  nvoimg::RowStride(std::min(src->width, dst->width), 24, &rowBytes);
  for (int32_t r = 0; r < rows; ++r) {
    CopyMemory(dst->bits + static_cast<size_t>(dstFirst + r) * dst->bytesPerLine,
               src->bits + static_cast<size_t>(srcFirst + r) * src->bytesPerLine, rowBytes);
  }
  return IL_SUCCESS;
}
