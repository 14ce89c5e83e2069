// 3 x 3 sharpening and softening of 24-bit bitmaps, strength from KTable.
//
// Instead of copying the whole page, the original values of the three rows a
// result row needs are kept as doubles in a ring, each padded with a copy of
// its edge pixels. The sums, their order and the truncation are the same as
// reading a full copy with edge replication.
#include <cstdint>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"
#include "NvoImgLib_Vector.h"

namespace {

struct KTableRow {
  int32_t level;
  double k;
};

constexpr KTableRow KTable[21] = {
    {-1000, -1.0}, {-950, -0.75}, {-900, -0.5625}, {-800, -0.39}, {-500, -0.204}, {-200, -0.135},  {-100, -0.124},
    {-50, -0.119}, {-1, -0.117},  {0, 0.0},        {1, 0.126},    {50, 0.14},     {100, 0.140625}, {650, 0.365},
    {700, 0.412},  {750, 0.5},    {800, 0.6046},   {850, 0.8203}, {900, 1.125},   {950, 2.25},     {1000, 9.0},
};

// K for a level in -1000..1000: a table row's own K, or the linear
// interpolation between the rows around the level.
double Strength(int level)
{
  if (level == -1000) {
    return -1.0;
  }
  for (int i = 1; i < 21; ++i) {
    if (KTable[i].level == level) {
      return KTable[i].k;
    }
    if (KTable[i].level > level) {
      const KTableRow& r0 = KTable[i - 1];
      const KTableRow& r1 = KTable[i];
      return (level - r0.level) * (r1.k - r0.k) / (r1.level - r0.level) + r0.k;
    }
  }
  return 0.0;  // not reached for a level in range
}

// Row values as doubles at [3, 3 + 3w), with pixel 0 repeated before them and
// pixel w - 1 after them.
void LoadRow(const unsigned char* src, int32_t width, double* padded)
{
  const int32_t n = width * 3;
  for (int32_t k = nvoimg::ConvertRowVector(src, n, padded + 3); k < n; ++k) {
    padded[k + 3] = src[k];
  }
  for (int ch = 0; ch < 3; ++ch) {
    padded[ch] = padded[3 + ch];
    padded[n + 3 + ch] = padded[n + ch];
  }
}

// Nine weighted taps per byte in the order row before, row, row after (each
// left, centre, right); truncated, then limited to 0..255.
void SharpenRow(const double* above, const double* row, const double* below, int32_t n, double edge, double centre,
                unsigned char* out)
{
  for (int32_t k = nvoimg::SharpenRowVector(above, row, below, n, edge, centre, out); k < n; ++k) {
    const double s = edge * above[k] + edge * above[k + 3] + edge * above[k + 6] + edge * row[k] + centre * row[k + 3] +
                     edge * row[k + 6] + edge * below[k] + edge * below[k + 3] + edge * below[k + 6];
    int v = static_cast<int>(s);
    v = v < 0 ? 0 : v;
    v = v > 255 ? 255 : v;
    out[k] = static_cast<unsigned char>(v);
  }
}

void SharpenRows(_tagBITMAPHANDLE* bitmap, double k, double* ring)
{
  const double edge = k / -9.0;
  const double centre = k * 8.0 / 9.0 + 1.0;
  const int32_t height = bitmap->height;
  const size_t slot = static_cast<size_t>(bitmap->width) * 3 + 6;
  auto rowAt = [&](int32_t y) { return bitmap->bits + static_cast<size_t>(y) * bitmap->bytesPerLine; };
  auto slotOf = [&](int32_t y) { return ring + slot * static_cast<size_t>(y % 3); };
  LoadRow(rowAt(0), bitmap->width, slotOf(0));
  for (int32_t y = 0; y < height; ++y) {
    // Row y + 1 is loaded before row y is overwritten; row y - 1 was loaded
    // before it was overwritten.
    if (y + 1 < height) {
      LoadRow(rowAt(y + 1), bitmap->width, slotOf(y + 1));
    }
    const double* above = slotOf(y > 0 ? y - 1 : y);
    const double* below = slotOf(y + 1 < height ? y + 1 : y);
    SharpenRow(above, slotOf(y), below, bitmap->width * 3, edge, centre, rowAt(y));
  }
}

}  // namespace

int IL_SharpenBitmap(_tagBITMAPHANDLE* bitmap, int level)
{
  if (bitmap == nullptr || bitmap->bits == nullptr) {
    return IL_ERR_NO_BITMAP;
  }
  if (bitmap->bitsPerPixel != 24 || level < -1000 || level > 1000 || bitmap->colorOrder > 1 ||
      !nvoimg::HasSaneGeometry(*bitmap)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  const double k = Strength(level);
  const uint64_t ringSize = (static_cast<uint64_t>(bitmap->width) * 3 + 6) * 3 * sizeof(double);
  void* handle = nullptr;
  auto* ring = reinterpret_cast<double*>(nvoimg::AllocBlock(ringSize, &handle));
  if (ring == nullptr) {
    return IL_ERR_NO_MEMORY;
  }
  // K = 0 gives weights 1 and -0: every sum is the byte itself.
  if (k != 0.0 && bitmap->height > 0) {
    SharpenRows(bitmap, k, ring);
  }
  nvoimg::ReleaseBlock(handle, ring);
  return IL_SUCCESS;
}
