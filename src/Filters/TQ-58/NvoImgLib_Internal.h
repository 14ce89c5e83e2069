// Helpers shared by the image library's source files; not part of its interface.
#ifndef TQ58_NVOIMGLIB_INTERNAL_H
#define TQ58_NVOIMGLIB_INTERNAL_H

#include <cstdint>

#include "NvoImgLib.h"

namespace nvoimg {

constexpr int kRecordSize = static_cast<int>(sizeof(_tagBITMAPHANDLE));

// Row stride ((bitsPerPixel * width + 31) / 32) * 4 without wrapping; false
// when width is negative or the stride does not fit 32 bits.
bool RowStride(int64_t width, int bitsPerPixel, uint32_t* stride);

// True when width and height are not negative and bytesPerLine and dataSize
// match them, so every row the operations touch lies inside dataSize.
bool HasSaneGeometry(const _tagBITMAPHANDLE& bitmap);

// GlobalAlloc plus GlobalLock. Returns the locked bits and sets *handle, or
// returns null (with nothing left allocated) when either step fails or size
// does not fit size_t.
unsigned char* AllocBlock(uint64_t size, void** handle);

// GlobalUnlock plus GlobalFree of a block from AllocBlock.
void ReleaseBlock(void* handle, void* bits);

// Converts a double already known to lie in the byte range, or garbage, to a
// byte by truncation; below 0 and NaN give 0, 255 and above give 255.
inline unsigned char TruncToByte(double v)
{
  const double clamped = v >= 255.0 ? 255.0 : (v > 0.0 ? v : 0.0);
  return static_cast<unsigned char>(static_cast<int>(clamped));
}

}  // namespace nvoimg

#endif
