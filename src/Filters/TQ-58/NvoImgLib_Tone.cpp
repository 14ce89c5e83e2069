// Palette tone tables (gamma, intensity, contrast), the generic palette
// look-up, and the hue/chroma/lightness conversions saturation rests on.
#include <cmath>
#include <cstdint>

#include "NvoImgLib.h"
#include "NvoImgLib_Internal.h"

namespace {

using Table = unsigned char[256];

int CheckPlane(const _tagBITMAPHANDLE* plane)
{
  if (plane == nullptr) {
    return IL_ERR_NULL_HANDLE;
  }
  if (plane->bits == nullptr || plane->bitsPerPixel != 8 || plane->paletteSize != 256 || plane->palette == nullptr) {
    return IL_ERR_INVALID_PARAMETER;
  }
  return IL_SUCCESS;
}

// CheckPlane, then the level's range (-1000..1000).
int CheckPlaneAndLevel(const _tagBITMAPHANDLE* plane, int level)
{
  const int check = CheckPlane(plane);
  if (check != IL_SUCCESS) {
    return check;
  }
  return level >= -1000 && level <= 1000 ? IL_SUCCESS : IL_ERR_INVALID_PARAMETER;
}

unsigned char ClampToByte(int64_t v)
{
  return static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Passes bytes 0..2 of all 256 palette entries through the table; byte 3 stays.
void ApplyToPalette(_tagBITMAPHANDLE* plane, const Table table)
{
  unsigned char* entry = plane->palette;
  for (int e = 0; e < 256; ++e, entry += 4) {
    entry[0] = table[entry[0]];
    entry[1] = table[entry[1]];
    entry[2] = table[entry[2]];
  }
}

// Builds the table of value(i), clamped to a byte, for i = 0..255 and passes
// the palette through it. IL_SUCCESS.
template <typename Value>
int ApplyTable(_tagBITMAPHANDLE* plane, Value value)
{
  Table table;
  for (int i = 0; i < 256; ++i) {
    table[i] = ClampToByte(value(i));
  }
  ApplyToPalette(plane, table);
  return IL_SUCCESS;
}

}  // namespace

int IL_GammaCorrectBitmap(_tagBITMAPHANDLE* plane, unsigned int gamma)
{
  const int check = CheckPlane(plane);
  if (check != IL_SUCCESS) {
    return check;
  }
  if (gamma == 0) {
    return IL_ERR_INVALID_PARAMETER;
  }
  const double exponent = 100.0 / static_cast<double>(gamma);
  return ApplyTable(plane, [exponent](int i) {
    return static_cast<int64_t>(std::trunc(std::pow(i / 255.0, exponent) * 255.0 + 0.5));
  });
}

int IL_ChangeBitmapIntensity(_tagBITMAPHANDLE* plane, int level)
{
  const int check = CheckPlaneAndLevel(plane, level);
  if (check != IL_SUCCESS) {
    return check;
  }
  // a * 0.2545 + 0.4286 rounded half away from zero, the half's sign taken from a.
  const double half = level < 0 ? -0.5 : 0.5;
  const int shift = static_cast<int>(level * 0.2545 + 0.4286 + half);
  return ApplyTable(plane, [shift](int i) { return int64_t{i} + shift; });
}

int IL_ChangeBitmapContrast(_tagBITMAPHANDLE* plane, int level)
{
  const int check = CheckPlaneAndLevel(plane, level);
  if (check != IL_SUCCESS) {
    return check;
  }
  const double k = std::exp(level * 0.0007);
  return ApplyTable(plane, [k](int i) { return 64 + static_cast<int64_t>((i - 64) * k); });
}

void ConvertLUT8(_tagBITMAPHANDLE* bitmap, const unsigned char* table)
{
  if (bitmap == nullptr || bitmap->palette == nullptr || table == nullptr) {
    return;
  }
  unsigned char* entry = bitmap->palette;
  for (uint32_t e = 0; e < bitmap->paletteSize; ++e, entry += 4) {
    entry[2] = table[entry[2]];
    entry[1] = table[entry[1]];
    entry[0] = table[entry[0]];
  }
}

void RGBtoHSL(int r, int g, int b, double* hue, double* chroma, double* lightness)
{
  const int hi = r > g ? (r > b ? r : b) : (g > b ? g : b);
  const int lo = r < g ? (r < b ? r : b) : (g < b ? g : b);
  const double span = static_cast<double>(hi - lo);
  *lightness = static_cast<double>(hi + lo) * 0.5;
  *chroma = span;
  if (hi == lo) {
    *hue = -1.0;
  } else if (lo == b) {
    *hue = static_cast<double>((g - r) * 60) / span + 60.0;
  } else if (lo == r) {
    *hue = static_cast<double>((b - g) * 60) / span + 180.0;
  } else {
    *hue = static_cast<double>((r - b) * 60) / span + 300.0;
  }
}

void HSLtoRGB(unsigned char* r, unsigned char* g, unsigned char* b, double hue, double chroma, double lightness)
{
  using nvoimg::TruncToByte;
  if (hue < 0.0) {
    *r = *g = *b = TruncToByte(lightness);
    return;
  }
  double d = chroma * 0.5;
  if (d > lightness) {
    d = lightness;
  } else if (d + lightness > 255.0) {
    d = 255.0 - lightness;
  }
  const double hi = d + lightness;
  const double lo = lightness - d;
  const double span = hi - lo;
  double cr, cg, cb;
  if (hue < 60.0) {
    cr = hi, cg = (hue / 60.0) * span + lo, cb = lo;
  } else if (hue < 120.0) {
    cr = ((120.0 - hue) / 60.0) * span + lo, cg = hi, cb = lo;
  } else if (hue < 180.0) {
    cr = lo, cg = hi, cb = ((hue - 120.0) / 60.0) * span + lo;
  } else if (hue < 240.0) {
    cr = lo, cg = ((240.0 - hue) / 60.0) * span + lo, cb = hi;
  } else if (hue < 300.0) {
    cr = ((hue - 240.0) / 60.0) * span + lo, cg = lo, cb = hi;
  } else {
    cr = hi, cg = lo, cb = ((360.0 - hue) / 60.0) * span + lo;
  }
  *r = TruncToByte(cr);
  *g = TruncToByte(cg);
  *b = TruncToByte(cb);
}
