// Chroma scaling of 24-bit bitmaps through the hue/chroma/lightness round trip.
#include <algorithm>
#include <cstdint>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"
#include "NvoImgLib_Vector.h"

namespace {

// chroma' = (chroma * level) / 1000 + chroma limited to 0..255, for every
// chroma a pixel can have (an integer spread of 0..255).
void BuildChromaTable(int level, double* table)
{
  for (int c = 0; c < 256; ++c) {
    const double chroma = static_cast<double>(c);
    double scaled = (chroma * level) / 1000.0 + chroma;
    scaled = scaled < 0.0 ? 0.0 : scaled;
    table[c] = scaled > 255.0 ? 255.0 : scaled;
  }
}

// One pixel through RGBtoHSL, the chroma table and HSLtoRGB, written without
// data-dependent branches: every selected value is the double the branching
// form computes, so the bytes are the same.
inline void SaturatePixel(unsigned char* p, int redIndex, int blueIndex, const double* chromaTable)
{
  const int r = p[redIndex], g = p[1], b = p[blueIndex];
  const int hiByte = std::max(std::max(r, g), b);
  const int loByte = std::min(std::min(r, g), b);
  const int spread = hiByte - loByte;
  // Hue: the minimum tests are made in the order b, r, g.
  const int numerator = loByte == b ? g - r : (loByte == r ? b - g : r - b);
  const double offset = loByte == b ? 60.0 : (loByte == r ? 180.0 : 300.0);
  const double hue = static_cast<double>(numerator * 60) / static_cast<double>(spread == 0 ? 1 : spread) + offset;
  const double lightness = static_cast<double>(hiByte + loByte) * 0.5;
  const double chroma = chromaTable[spread];
  double d = chroma * 0.5;
  d = d > lightness ? lightness : (d + lightness > 255.0 ? 255.0 - lightness : d);
  const double hi = d + lightness;
  const double lo = lightness - d;
  const double span = hi - lo;
  // Sector s = floor(hue / 60); even sectors use (hue - base) / 60, odd ones
  // (base - hue) / 60, which is the exact negation of hue - base.
  const int sector = (hue >= 60.0) + (hue >= 120.0) + (hue >= 180.0) + (hue >= 240.0) + (hue >= 300.0);
  static constexpr double kBase[6] = {0.0, 120.0, 120.0, 240.0, 240.0, 360.0};
  static constexpr double kSign[6] = {1.0, -1.0, 1.0, -1.0, 1.0, -1.0};
  const double mid = (((hue - kBase[sector]) * kSign[sector]) / 60.0) * span + lo;
  // Which of hi (0), mid (1), lo (2) each channel takes, by sector.
  static constexpr unsigned char kRole[6][3] = {{0, 1, 2}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}};
  const unsigned char values[3] = {nvoimg::TruncToByte(hi), nvoimg::TruncToByte(mid), nvoimg::TruncToByte(lo)};
  const unsigned char grey = nvoimg::TruncToByte(lightness);
  const bool isGrey = spread == 0;
  p[redIndex] = isGrey ? grey : values[kRole[sector][0]];
  p[1] = isGrey ? grey : values[kRole[sector][1]];
  p[blueIndex] = isGrey ? grey : values[kRole[sector][2]];
}

void SaturateRow(unsigned char* row, int32_t width, int redIndex, int blueIndex, const double* chromaTable)
{
  for (int32_t x = nvoimg::SaturateRowVector(row, width, redIndex, chromaTable); x < width; ++x) {
    SaturatePixel(row + 3 * static_cast<size_t>(x), redIndex, blueIndex, chromaTable);
  }
}

}  // namespace

int IL_ChangeBitmapSaturation(_tagBITMAPHANDLE* bitmap, int level)
{
  if (bitmap == nullptr) {
    return IL_ERR_NULL_HANDLE;
  }
  if (bitmap->bits == nullptr || bitmap->bitsPerPixel != 24 || level < -1000 || level > 1000 ||
      bitmap->colorOrder > 1 || !nvoimg::HasSaneGeometry(*bitmap)) {
    return IL_ERR_INVALID_PARAMETER;
  }
  double chromaTable[256];
  BuildChromaTable(level, chromaTable);
  // colorOrder 0 stores red in byte 0, colorOrder 1 in byte 2.
  const int redIndex = bitmap->colorOrder == 0 ? 0 : 2;
  const int blueIndex = 2 - redIndex;
  for (int32_t y = 0; y < bitmap->height; ++y) {
    SaturateRow(bitmap->bits + static_cast<size_t>(y) * bitmap->bytesPerLine, bitmap->width, redIndex, blueIndex,
                chromaTable);
  }
  return IL_SUCCESS;
}
