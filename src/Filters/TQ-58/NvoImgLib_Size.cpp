// Separable cubic resampling (a = -1) of 24-bit bitmaps in double precision.
//
// Tap positions and weights are computed once per call for every new column
// and row. The horizontal pass is evaluated only for the source rows the
// vertical taps reach, kept in a ring of four rows: every intermediate value
// and every sum is the same double, added in the same order, as a pass over a
// full intermediate array would give. Where the processor has AVX2 the rows
// go through the vector kernels, which give the same doubles and bytes.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"
#include "NvoImgLib_Vector.h"

namespace {

using nvoimg::Tap4;

// Doubles after the three values of a source row and of an intermediate row:
// the vector kernels read and write one double past the last pixel.
constexpr int32_t kRowPad = 4;

double CubicWeight(double d)
{
  if (d <= 1.0) {
    return d * d * d - 2.0 * d * d + 1.0;
  }
  if (d <= 2.0) {
    return -d * d * d + 5.0 * d * d - 8.0 * d + 4.0;
  }
  return 0.0;  // beyond the kernel: the tap adds nothing
}

// Sample position x = (oldLen / newLen) * j with taps trunc(x) - 1 .. + 2. A
// tap outside 0..oldLen-1 reads the sample at trunc(x) instead.
void BuildTaps(int32_t oldLen, int32_t newLen, int32_t indexScale, Tap4* taps)
{
  const double ratio = static_cast<double>(oldLen) / static_cast<double>(newLen);
  for (int32_t j = 0; j < newLen; ++j) {
    const double x = ratio * static_cast<double>(j);
    int32_t c = static_cast<int32_t>(x);
    if (c > oldLen - 1) {
      c = oldLen - 1;
    }
    for (int k = 0; k < 4; ++k) {
      const int32_t t = c - 1 + k;
      taps[j].weight[k] = CubicWeight(std::fabs(static_cast<double>(t) - x));
      taps[j].index[k] = (t >= 0 && t < oldLen ? t : c) * indexScale;
    }
  }
}

// One intermediate row: the horizontal sums of one source row, unrounded.
void HorizontalRow(const unsigned char* src, int32_t oldWidth, const Tap4* cols, int32_t newWidth, double* srcValues,
                   double* out)
{
  const int32_t n = oldWidth * 3;
  for (int32_t k = nvoimg::ConvertRowVector(src, n, srcValues); k < n; ++k) {
    srcValues[k] = src[k];
  }
  for (int32_t j = nvoimg::HorizontalRowVector(srcValues, cols, newWidth, out); j < newWidth; ++j) {
    const Tap4& t = cols[j];
    const double* p0 = srcValues + t.index[0];
    const double* p1 = srcValues + t.index[1];
    const double* p2 = srcValues + t.index[2];
    const double* p3 = srcValues + t.index[3];
    double* o = out + 3 * j;
    for (int ch = 0; ch < 3; ++ch) {
      o[ch] = t.weight[0] * p0[ch] + t.weight[1] * p1[ch] + t.weight[2] * p2[ch] + t.weight[3] * p3[ch];
    }
  }
}

// One output row: the vertical sums, rounded by trunc(sum + 0.5) and clamped.
// Clamping the truncated integer gives the same bytes as testing the sum
// against 0 and 255 first.
void VerticalRow(const double* const rows[4], const double weight[4], int32_t n, unsigned char* out)
{
  const double w0 = weight[0], w1 = weight[1], w2 = weight[2], w3 = weight[3];
  const double *r0 = rows[0], *r1 = rows[1], *r2 = rows[2], *r3 = rows[3];
  for (int32_t k = nvoimg::VerticalRowVector(rows, weight, n, out); k < n; ++k) {
    const double s = w0 * r0[k] + w1 * r1[k] + w2 * r2[k] + w3 * r3[k];
    int v = static_cast<int>(s + 0.5);
    v = v < 0 ? 0 : v;
    v = v > 255 ? 255 : v;
    out[k] = static_cast<unsigned char>(v);
  }
}

struct Scratch {
  Tap4* cols;
  Tap4* rows;
  double* srcValues;  // 3 * oldWidth values and kRowPad zeros
  double* ring;       // four intermediate rows of 3 * newWidth + kRowPad values
};

Scratch LayOutScratch(unsigned char* block, int32_t oldWidth, int32_t newWidth, int32_t newHeight)
{
  Scratch s{};
  s.cols = reinterpret_cast<Tap4*>(block);
  s.rows = s.cols + newWidth;
  s.srcValues = reinterpret_cast<double*>(s.rows + newHeight);
  s.ring = s.srcValues + static_cast<size_t>(oldWidth) * 3 + kRowPad;
  for (int32_t k = 0; k < kRowPad; ++k) {
    s.srcValues[static_cast<size_t>(oldWidth) * 3 + k] = 0.0;
  }
  return s;
}

void Resample(const _tagBITMAPHANDLE& bitmap, int32_t newWidth, int32_t newHeight, uint32_t newStride, const Scratch& s,
              unsigned char* out)
{
  BuildTaps(bitmap.width, newWidth, 3, s.cols);
  BuildTaps(bitmap.height, newHeight, 1, s.rows);
  const size_t used = static_cast<size_t>(newWidth) * 3;
  const size_t ringRow = used + kRowPad;
  int32_t cached[4] = {-1, -1, -1, -1};
  // The taps of one new row are distinct modulo 4 (or repeat the centre), so
  // slot (row & 3) never evicts a row the same output row still needs.
  for (int32_t i = 0; i < newHeight; ++i) {
    const Tap4& rt = s.rows[i];
    const double* rows[4];
    for (int k = 0; k < 4; ++k) {
      const int32_t src = rt.index[k];
      double* slot = s.ring + ringRow * static_cast<size_t>(src & 3);
      if (cached[src & 3] != src) {
        HorizontalRow(bitmap.bits + static_cast<size_t>(src) * bitmap.bytesPerLine, bitmap.width, s.cols, newWidth,
                      s.srcValues, slot);
        cached[src & 3] = src;
      }
      rows[k] = slot;
    }
    unsigned char* line = out + static_cast<size_t>(i) * newStride;
    VerticalRow(rows, rt.weight, static_cast<int32_t>(used), line);
    std::memset(line + used, 0, newStride - used);
  }
}

}  // namespace

int IL_SizeBitmap(_tagBITMAPHANDLE* bitmap, int newWidth, int newHeight, int mode)
{
  if (bitmap == nullptr || bitmap->bits == nullptr || bitmap->bitsPerPixel != 24 || bitmap->colorOrder > 1 ||
      newWidth <= 0 || newHeight <= 0 || mode != 4) {
    return IL_ERR_INVALID_PARAMETER;
  }
  // An empty source has no pixel for the taps to read.
  uint32_t newStride = 0;
  if (!nvoimg::HasSaneGeometry(*bitmap) || bitmap->width == 0 || bitmap->height == 0 ||
      !nvoimg::RowStride(newWidth, 24, &newStride)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  const uint64_t newSize = static_cast<uint64_t>(newStride) * static_cast<uint64_t>(newHeight);
  const uint64_t scratchSize =
      (static_cast<uint64_t>(newWidth) + static_cast<uint64_t>(newHeight)) * sizeof(Tap4) +
      (static_cast<uint64_t>(bitmap->width) * 3 + static_cast<uint64_t>(newWidth) * 12 + 5 * kRowPad) * sizeof(double);
  void* newHandle = nullptr;
  unsigned char* newBits = nvoimg::AllocBlock(newSize, &newHandle);
  if (newBits == nullptr) {
    return IL_ERR_NO_MEMORY;
  }
  void* scratchHandle = nullptr;
  unsigned char* scratch = nvoimg::AllocBlock(scratchSize, &scratchHandle);
  if (scratch == nullptr) {
    nvoimg::ReleaseBlock(newHandle, newBits);
    return IL_ERR_NO_MEMORY;
  }
  Resample(*bitmap, newWidth, newHeight, newStride, LayOutScratch(scratch, bitmap->width, newWidth, newHeight),
           newBits);
  nvoimg::ReleaseBlock(scratchHandle, scratch);
  if (bitmap->memoryHandle != nullptr) {
    nvoimg::ReleaseBlock(bitmap->memoryHandle, bitmap->bits);
    bitmap->palette = nullptr;
  }
  bitmap->memoryHandle = newHandle;
  bitmap->bits = newBits;
  bitmap->width = newWidth;
  bitmap->height = newHeight;
  bitmap->bytesPerLine = newStride;
  bitmap->dataSize = newSize;
  return IL_SUCCESS;
}
