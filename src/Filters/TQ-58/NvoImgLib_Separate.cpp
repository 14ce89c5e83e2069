// Splitting 24-bit bitmaps into three 8-bit planes with grey palettes, and
// merging three planes back through their palettes.
#include <cstdint>
#include <cstring>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"
#include "NvoImgLib_Vector.h"

namespace {

constexpr uint64_t kPaletteBytes = 1024;

int CheckSeparateArgs(const _tagBITMAPHANDLE* source, _tagBITMAPHANDLE* const* planes, int structSize, int flags)
{
  if (source == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  if (structSize != nvoimg::kRecordSize) {
    return IL_ERR_STRUCT_SIZE;
  }
  if (source->bits == nullptr || source->bitsPerPixel != 24 || planes == nullptr || source->colorOrder > 1 ||
      planes[0] == nullptr || planes[1] == nullptr || flags != 0 || planes[2] == nullptr ||
      !nvoimg::HasSaneGeometry(*source)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  return IL_SUCCESS;
}

void FillPlaneRecord(_tagBITMAPHANDLE* plane, void* handle, unsigned char* bits, const _tagBITMAPHANDLE& source,
                     uint32_t stride)
{
  const uint64_t pixelBytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(source.height);
  plane->memoryHandle = handle;
  plane->bits = bits;
  plane->palette = bits + pixelBytes;
  for (int e = 0; e < 256; ++e) {
    unsigned char* entry = plane->palette + 4 * e;
    entry[0] = entry[1] = entry[2] = static_cast<unsigned char>(e);
    entry[3] = 0;
  }
  plane->width = source.width;
  plane->height = source.height;
  plane->bitsPerPixel = 8;
  plane->bytesPerLine = stride;
  plane->paletteSize = 256;
  plane->colorOrder = 0;
  plane->layoutCode = source.layoutCode;
  plane->dataSize = pixelBytes;
}

// Copies byte k of every pixel to out[k]; the destinations are chosen by the
// caller, once, from the colour order. Row padding is zeroed.
void SplitRows(const _tagBITMAPHANDLE& source, unsigned char* const out[3], uint32_t stride)
{
  const int32_t width = source.width;
  const bool vector = nvoimg::IsVectorPathEnabled();
  for (int32_t y = 0; y < source.height; ++y) {
    const unsigned char* s = source.bits + static_cast<size_t>(y) * source.bytesPerLine;
    unsigned char* d0 = out[0] + static_cast<size_t>(y) * stride;
    unsigned char* d1 = out[1] + static_cast<size_t>(y) * stride;
    unsigned char* d2 = out[2] + static_cast<size_t>(y) * stride;
    unsigned char* const rowOut[3] = {d0, d1, d2};
    for (int32_t x = vector ? nvoimg::SplitRowAvx2(s, width, rowOut) : 0; x < width; ++x) {
      d0[x] = s[3 * x];
      d1[x] = s[3 * x + 1];
      d2[x] = s[3 * x + 2];
    }
    const size_t pad = stride - static_cast<size_t>(width);
    std::memset(d0 + width, 0, pad);
    std::memset(d1 + width, 0, pad);
    std::memset(d2 + width, 0, pad);
  }
}

}  // namespace

int IL_ColorSeparateBitmap(_tagBITMAPHANDLE* source, _tagBITMAPHANDLE* planes[3], int structSize, int flags)
{
  const int check = CheckSeparateArgs(source, planes, structSize, flags);
  if (check != IL_SUCCESS) {
    return check;
  }
  uint32_t stride = 0;
  nvoimg::RowStride(source->width, 8, &stride);
  const uint64_t blockSize = static_cast<uint64_t>(stride) * static_cast<uint64_t>(source->height) + kPaletteBytes;
  void* handles[3] = {};
  unsigned char* bits[3] = {};
  for (int k = 0; k < 3; ++k) {
    bits[k] = nvoimg::AllocBlock(blockSize, &handles[k]);
    if (bits[k] == nullptr) {
      for (int j = 0; j < k; ++j) {
        nvoimg::ReleaseBlock(handles[j], bits[j]);
      }
      return IL_ERR_NO_MEMORY;
    }
  }
  for (int k = 0; k < 3; ++k) {
    FillPlaneRecord(planes[k], handles[k], bits[k], *source, stride);
  }
  // Plane k takes byte k for colorOrder 1 and byte 2 - k for colorOrder 0.
  const bool swapped = source->colorOrder == 0;
  unsigned char* const byteDest[3] = {swapped ? bits[2] : bits[0], bits[1], swapped ? bits[0] : bits[2]};
  SplitRows(*source, byteDest, stride);
  return IL_SUCCESS;
}

namespace {

// All three planes share plane 0's geometry and are well-formed 8-bit planes.
bool PlanesMatch(_tagBITMAPHANDLE* const* planes)
{
  const _tagBITMAPHANDLE& first = *planes[0];
  uint32_t stride = 0;
  if (first.height < 0 || !nvoimg::RowStride(first.width, 8, &stride)) {
    return false;
  }
  const uint64_t size = static_cast<uint64_t>(stride) * static_cast<uint64_t>(first.height);
  for (int k = 0; k < 3; ++k) {
    const _tagBITMAPHANDLE& p = *planes[k];
    if (p.width != first.width || p.height != first.height || p.bitsPerPixel != 8 || p.bytesPerLine != stride ||
        p.paletteSize != 256 || p.palette == nullptr || p.colorOrder != 0 || p.layoutCode != first.layoutCode ||
        p.dataSize != size) {
      return false;
    }
  }
  return true;
}

// The arguments of a merge; on success *outStride is the stride of the 24-bit result.
int CheckMergeArgs(const _tagBITMAPHANDLE* target, _tagBITMAPHANDLE* const* planes, int structSize, int flags,
                   uint32_t* outStride)
{
  if (target == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  if (structSize != nvoimg::kRecordSize) {
    return IL_ERR_STRUCT_SIZE;
  }
  if (planes == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  for (int k = 0; k < 3; ++k) {
    if (planes[k] == nullptr || planes[k]->bits == nullptr) {
      return IL_ERR_NO_BITMAP;
    }
  }
  if (flags != 0 || !PlanesMatch(planes) || !nvoimg::RowStride(planes[0]->width, 24, outStride)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  return IL_SUCCESS;
}

// Output byte k of a pixel is byte k of plane k's palette entry for its value.
void MergeRows(_tagBITMAPHANDLE* const* planes, unsigned char* out, uint32_t outStride)
{
  unsigned char lut[3][256];
  for (int k = 0; k < 3; ++k) {
    for (int e = 0; e < 256; ++e) {
      lut[k][e] = planes[k]->palette[4 * e + k];
    }
  }
  const int32_t width = planes[0]->width;
  const uint32_t stride = planes[0]->bytesPerLine;
  for (int32_t y = 0; y < planes[0]->height; ++y) {
    const unsigned char* p0 = planes[0]->bits + static_cast<size_t>(y) * stride;
    const unsigned char* p1 = planes[1]->bits + static_cast<size_t>(y) * stride;
    const unsigned char* p2 = planes[2]->bits + static_cast<size_t>(y) * stride;
    unsigned char* o = out + static_cast<size_t>(y) * outStride;
    for (int32_t x = 0; x < width; ++x) {
      o[3 * x] = lut[0][p0[x]];
      o[3 * x + 1] = lut[1][p1[x]];
      o[3 * x + 2] = lut[2][p2[x]];
    }
    std::memset(o + 3 * static_cast<size_t>(width), 0, outStride - 3 * static_cast<size_t>(width));
  }
}

}  // namespace

int IL_ColorMergeBitmap(_tagBITMAPHANDLE* target, _tagBITMAPHANDLE* planes[3], int structSize, int flags)
{
  uint32_t outStride = 0;
  const int check = CheckMergeArgs(target, planes, structSize, flags, &outStride);
  if (check != IL_SUCCESS) {
    return check;
  }
  const uint64_t size = static_cast<uint64_t>(outStride) * static_cast<uint64_t>(planes[0]->height);
  void* handle = nullptr;
  unsigned char* bits = nvoimg::AllocBlock(size, &handle);
  if (bits == nullptr) {
    return IL_ERR_NO_MEMORY;
  }
  MergeRows(planes, bits, outStride);
  target->memoryHandle = handle;
  target->bits = bits;
  target->width = planes[0]->width;
  target->height = planes[0]->height;
  target->bitsPerPixel = 24;
  target->bytesPerLine = outStride;
  target->colorOrder = 1;
  target->layoutCode = planes[0]->layoutCode;
  target->dataSize = size;
  return IL_SUCCESS;
}
