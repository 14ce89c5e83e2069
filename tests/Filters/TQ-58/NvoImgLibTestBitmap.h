// Bitmap helpers shared by the image library tests.
#ifndef TQ58_NVOIMGLIB_TESTBITMAP_H
#define TQ58_NVOIMGLIB_TESTBITMAP_H

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "NvoImgLib.h"

namespace imgtest {

constexpr int kRecordSize = sizeof(_tagBITMAPHANDLE);

inline uint32_t Stride(int width, int bitsPerPixel)
{
  return static_cast<uint32_t>((static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4);
}

// A 24-bit picture in caller memory, wrapped by IL_CreateBitmap.
struct Picture {
  std::vector<unsigned char> pixels;
  _tagBITMAPHANDLE bitmap{};

  Picture(int width, int height, unsigned int colorOrder = 1) : pixels(Stride(width, 24) * static_cast<size_t>(height))
  {
    Rewrap(width, height, colorOrder);
  }
  void Rewrap(int width, int height, unsigned int colorOrder = 1)
  {
    IL_CreateBitmap(&bitmap, kRecordSize, 2, width, height, 24, colorOrder, nullptr, 4, pixels.data(), pixels.size());
  }
  unsigned char* At(int x, int y) { return pixels.data() + static_cast<size_t>(y) * Stride(bitmap.width, 24) + 3 * x; }
  void Fill(unsigned char value) { std::memset(pixels.data(), value, pixels.size()); }
  void Randomize(uint32_t seed)
  {
    std::mt19937 rng(seed);
    for (auto& b : pixels) b = static_cast<unsigned char>(rng() >> 24);
  }
  ~Picture() { IL_FreeBitmap(&bitmap); }
};

// The pixel bytes of every row of a bitmap, row padding left out.
inline std::vector<unsigned char> RowBytes(const _tagBITMAPHANDLE& b)
{
  std::vector<unsigned char> out;
  const size_t used = static_cast<size_t>(b.width) * static_cast<size_t>(b.bitsPerPixel / 8);
  for (int y = 0; y < b.height; ++y) {
    const unsigned char* row = b.bits + static_cast<size_t>(y) * b.bytesPerLine;
    out.insert(out.end(), row, row + used);
  }
  return out;
}

// Byte ch of the pixel at (x, y) of a 24-bit bitmap.
inline int Byte(const _tagBITMAPHANDLE& b, int x, int y, int ch = 0)
{
  return b.bits[static_cast<size_t>(y) * b.bytesPerLine + 3 * static_cast<size_t>(x) + ch];
}

// Three plane records and the pointer array the plane operations take.
struct Planes {
  _tagBITMAPHANDLE record[3]{};
  _tagBITMAPHANDLE* ptr[3] = {&record[0], &record[1], &record[2]};
  ~Planes()
  {
    for (auto& r : record) IL_FreeBitmap(&r);
  }
};

// Frees an owned 24-bit result at scope exit.
struct Owned {
  _tagBITMAPHANDLE bitmap{};
  ~Owned() { IL_FreeBitmap(&bitmap); }
};

inline bool SameRecord(const _tagBITMAPHANDLE& a, const _tagBITMAPHANDLE& b)
{
  return a.memoryHandle == b.memoryHandle && a.bits == b.bits && a.width == b.width && a.height == b.height &&
         a.bitsPerPixel == b.bitsPerPixel && a.bytesPerLine == b.bytesPerLine && a.paletteSize == b.paletteSize &&
         a.palette == b.palette && a.layoutCode == b.layoutCode && a.colorOrder == b.colorOrder &&
         a.dataSize == b.dataSize;
}

}  // namespace imgtest

#endif
