// Palette tone tables, the HSL round trip and saturation.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLibTestBitmap.h"

using namespace imgtest;

namespace {

// A 4 x 2 plane whose palette is grey with byte 3 set to a marker.
struct Plane {
  std::vector<unsigned char> pixels = std::vector<unsigned char>(8);
  unsigned char palette[1024];
  _tagBITMAPHANDLE bitmap{};
  Plane()
  {
    for (int e = 0; e < 256; ++e) {
      palette[4 * e] = palette[4 * e + 1] = palette[4 * e + 2] = static_cast<unsigned char>(e);
      palette[4 * e + 3] = 0xA5;
    }
    IL_CreateBitmap(&bitmap, kRecordSize, 2, 4, 2, 8, 2, palette, 4, pixels.data(), pixels.size());
  }
  int At(int e) const { return palette[4 * e]; }
  // Bytes 0..2 of every entry agree and byte 3 kept its marker.
  bool Consistent() const
  {
    for (int e = 0; e < 256; ++e)
      if (palette[4 * e + 1] != palette[4 * e] || palette[4 * e + 2] != palette[4 * e] || palette[4 * e + 3] != 0xA5)
        return false;
    return true;
  }
};

TEST(NvoImgLibTone, GammaTable)
{
  Plane g200, g50, g100;
  ASSERT_EQ(IL_GammaCorrectBitmap(&g200.bitmap, 200), IL_SUCCESS);
  ASSERT_EQ(IL_GammaCorrectBitmap(&g50.bitmap, 50), IL_SUCCESS);
  ASSERT_EQ(IL_GammaCorrectBitmap(&g100.bitmap, 100), IL_SUCCESS);
  EXPECT_EQ(g200.At(128), 181);
  EXPECT_EQ(g50.At(128), 64);
  for (int e = 0; e < 256; ++e) ASSERT_EQ(g100.At(e), e);
  EXPECT_EQ(g200.At(0), 0);
  EXPECT_EQ(g200.At(255), 255);
  EXPECT_TRUE(g200.Consistent());
  EXPECT_EQ(IL_GammaCorrectBitmap(&g200.bitmap, 0), IL_ERR_INVALID_PARAMETER);
}

TEST(NvoImgLibTone, IntensityShiftRoundsHalfAwayFromZero)
{
  const struct {
    int level, at, expected;
  } cases[] = {{1, 100, 101}, {-1, 100, 100}, {-4, 100, 99},   {0, 100, 100},  {1, 255, 255},
               {-4, 0, 0},    {1000, 0, 255}, {-1000, 255, 1}, {-1000, 254, 0}};
  for (const auto& c : cases) {
    Plane p;
    ASSERT_EQ(IL_ChangeBitmapIntensity(&p.bitmap, c.level), IL_SUCCESS);
    EXPECT_EQ(p.At(c.at), c.expected) << "level " << c.level << " at " << c.at;
    EXPECT_TRUE(p.Consistent());
  }
}

TEST(NvoImgLibTone, ContrastPivotsOnSixtyFour)
{
  Plane up, down;
  ASSERT_EQ(IL_ChangeBitmapContrast(&up.bitmap, 1000), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapContrast(&down.bitmap, -1000), IL_SUCCESS);
  for (int e = 0; e <= 32; ++e) EXPECT_EQ(up.At(e), 0) << e;
  EXPECT_EQ(up.At(33), 2);
  EXPECT_EQ(up.At(64), 64);
  EXPECT_EQ(up.At(158), 253);
  for (int e = 159; e < 256; ++e) EXPECT_EQ(up.At(e), 255) << e;
  EXPECT_EQ(down.At(0), 33);
  EXPECT_EQ(down.At(64), 64);
  EXPECT_EQ(down.At(255), 158);
  EXPECT_TRUE(up.Consistent() && down.Consistent());
}

TEST(NvoImgLibTone, OperationsComposeOnThePalette)
{
  Plane p;
  ASSERT_EQ(IL_ChangeBitmapIntensity(&p.bitmap, 1), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapIntensity(&p.bitmap, 1), IL_SUCCESS);
  ASSERT_EQ(IL_ChangeBitmapContrast(&p.bitmap, 1000), IL_SUCCESS);
  EXPECT_EQ(p.At(62), 64);                             // 62 + 2 lands on the pivot
  EXPECT_EQ(p.pixels, std::vector<unsigned char>(8));  // pixels never touched
}

TEST(NvoImgLibTone, PlaneOperationsValidateFirst)
{
  EXPECT_EQ(IL_GammaCorrectBitmap(nullptr, 100), IL_ERR_NULL_HANDLE);
  EXPECT_EQ(IL_ChangeBitmapIntensity(nullptr, 0), IL_ERR_NULL_HANDLE);
  EXPECT_EQ(IL_ChangeBitmapContrast(nullptr, 0), IL_ERR_NULL_HANDLE);
  Plane p;
  EXPECT_EQ(IL_ChangeBitmapIntensity(&p.bitmap, 1001), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(IL_ChangeBitmapContrast(&p.bitmap, -1001), IL_ERR_INVALID_PARAMETER);
  const auto breakers = {
      +[](_tagBITMAPHANDLE& b) { b.bits = nullptr; }, +[](_tagBITMAPHANDLE& b) { b.bitsPerPixel = 24; },
      +[](_tagBITMAPHANDLE& b) { b.paletteSize = 255; }, +[](_tagBITMAPHANDLE& b) { b.palette = nullptr; }};
  for (auto breakIt : breakers) {
    _tagBITMAPHANDLE bad = p.bitmap;
    breakIt(bad);
    EXPECT_EQ(IL_GammaCorrectBitmap(&bad, 200), IL_ERR_INVALID_PARAMETER);
    EXPECT_EQ(IL_ChangeBitmapIntensity(&bad, 10), IL_ERR_INVALID_PARAMETER);
    EXPECT_EQ(IL_ChangeBitmapContrast(&bad, 10), IL_ERR_INVALID_PARAMETER);
  }
  for (int e = 0; e < 256; ++e) ASSERT_EQ(p.At(e), e);
}

TEST(NvoImgLibTone, ConvertLUT8MapsTheFirstPaletteSizeEntries)
{
  Plane p;
  unsigned char invert[256];
  for (int i = 0; i < 256; ++i) invert[i] = static_cast<unsigned char>(255 - i);
  p.bitmap.paletteSize = 2;
  ConvertLUT8(&p.bitmap, invert);
  EXPECT_EQ(p.At(0), 255);
  EXPECT_EQ(p.At(1), 254);
  EXPECT_EQ(p.At(2), 2);
  EXPECT_TRUE(p.Consistent());
  ConvertLUT8(nullptr, invert);
  ConvertLUT8(&p.bitmap, nullptr);
}

TEST(NvoImgLibHsl, ConversionAndTieOrder)
{
  double h, c, l;
  RGBtoHSL(0, 5, 35, &h, &c, &l);
  EXPECT_NEAR(h, 231.428571428571, 1e-9);
  EXPECT_EQ(c, 35.0);
  EXPECT_EQ(l, 17.5);
  RGBtoHSL(7, 7, 7, &h, &c, &l);
  EXPECT_EQ(h, -1.0);
  EXPECT_EQ(c, 0.0);
  RGBtoHSL(50, 10, 10, &h, &c, &l);  // b and g tie at the minimum: b's formula
  EXPECT_EQ(h, 0.0);
  RGBtoHSL(10, 10, 50, &h, &c, &l);  // r and g tie: r's formula
  EXPECT_EQ(h, 240.0);
  RGBtoHSL(10, 50, 10, &h, &c, &l);
  EXPECT_EQ(h, 120.0);
}

TEST(NvoImgLibHsl, BackConversionTruncatesAndLimitsTheSpread)
{
  unsigned char r, g, b;
  double h, c, l;
  RGBtoHSL(0, 5, 35, &h, &c, &l);
  HSLtoRGB(&r, &g, &b, h, c, l);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 4, 35}));
  RGBtoHSL(0, 25, 87, &h, &c, &l);
  HSLtoRGB(&r, &g, &b, h, c, l);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 25, 87}));
  RGBtoHSL(0, 25, 129, &h, &c, &l);
  HSLtoRGB(&r, &g, &b, h, c, l);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 24, 129}));
  HSLtoRGB(&r, &g, &b, -1.0, 0.0, 17.5);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{17, 17, 17}));
  HSLtoRGB(&r, &g, &b, 0.0, 255.0, 200.0);  // d limited by 255 - lightness
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 145, 145}));
  HSLtoRGB(&r, &g, &b, 180.0, 255.0, 50.0);  // d limited by the lightness
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 100, 100}));
  HSLtoRGB(&r, &g, &b, 330.0, 100.0, 100.0);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{150, 50, 100}));
}

std::vector<int> Saturate(std::vector<int> bytes, int level, unsigned order)
{
  Picture p(1, 1, order);
  for (int i = 0; i < 3; ++i) p.pixels[i] = static_cast<unsigned char>(bytes[i]);
  EXPECT_EQ(IL_ChangeBitmapSaturation(&p.bitmap, level), IL_SUCCESS);
  return {p.pixels[0], p.pixels[1], p.pixels[2]};
}

TEST(NvoImgLibSaturation, Examples)
{
  EXPECT_EQ(Saturate({0, 5, 35}, 0, 0), (std::vector<int>{0, 4, 35}));
  EXPECT_EQ(Saturate({35, 5, 0}, 0, 1), (std::vector<int>{35, 4, 0}));  // red in byte 2
  // Divide by 60, then multiply by the span: the other order gives 24 and 25.
  EXPECT_EQ(Saturate({0, 25, 87}, 0, 0), (std::vector<int>{0, 25, 87}));
  EXPECT_EQ(Saturate({0, 25, 129}, 0, 0), (std::vector<int>{0, 24, 129}));
  EXPECT_EQ(Saturate({255, 0, 0}, 500, 0), (std::vector<int>{255, 0, 0}));
  EXPECT_EQ(Saturate({200, 100, 50}, -1000, 0), (std::vector<int>{125, 125, 125}));
  EXPECT_EQ(Saturate({150, 100, 50}, 1000, 1), (std::vector<int>{200, 100, 0}));
}

TEST(NvoImgLibSaturation, RandomBitmapsAtZeroAndMinusThousand)
{
  for (unsigned order : {0u, 1u}) {
    Picture zero(37, 11, order), grey(37, 11, order);
    zero.Randomize(20 + order);
    grey.pixels = zero.pixels;
    const std::vector<unsigned char> before = zero.pixels;
    ASSERT_EQ(IL_ChangeBitmapSaturation(&zero.bitmap, 0), IL_SUCCESS);
    ASSERT_EQ(IL_ChangeBitmapSaturation(&grey.bitmap, -1000), IL_SUCCESS);
    int lowered = 0;
    for (int y = 0; y < 11; ++y) {
      for (int x = 0; x < 37; ++x) {
        const unsigned char* in = before.data() + y * Stride(37, 24) + 3 * x;
        std::vector<int> sorted = {in[0], in[1], in[2]}, out = {zero.At(x, y)[0], zero.At(x, y)[1], zero.At(x, y)[2]};
        std::sort(sorted.begin(), sorted.end());
        std::vector<int> outSorted = out;
        std::sort(outSorted.begin(), outSorted.end());
        // Level 0 keeps the extremes and can only lower the middle channel by one.
        ASSERT_EQ(outSorted[0], sorted[0]);
        ASSERT_EQ(outSorted[2], sorted[2]);
        ASSERT_TRUE(outSorted[1] == sorted[1] || outSorted[1] == sorted[1] - 1);
        lowered += outSorted[1] != sorted[1];
        const int g = (sorted[0] + sorted[2]) / 2;
        ASSERT_EQ(grey.At(x, y)[0], g);
        ASSERT_EQ(grey.At(x, y)[1], g);
        ASSERT_EQ(grey.At(x, y)[2], g);
      }
    }
    EXPECT_GT(lowered, 0);
  }
}

TEST(NvoImgLibSaturation, AgreesWithThePublicRoundTripOnEveryPixel)
{
  for (int level : {-1000, -499, -1, 0, 1, 333, 1000}) {
    Picture p(64, 32, 0);
    p.Randomize(static_cast<uint32_t>(level + 5000));
    const std::vector<unsigned char> before = p.pixels;
    ASSERT_EQ(IL_ChangeBitmapSaturation(&p.bitmap, level), IL_SUCCESS);
    for (size_t i = 0; i < before.size(); i += 3) {
      double h, c, l;
      RGBtoHSL(before[i], before[i + 1], before[i + 2], &h, &c, &l);
      c = std::min(std::max((c * level) / 1000 + c, 0.0), 255.0);
      unsigned char r, g, b;
      HSLtoRGB(&r, &g, &b, h, c, l);
      ASSERT_EQ((std::vector<int>{p.pixels[i], p.pixels[i + 1], p.pixels[i + 2]}), (std::vector<int>{r, g, b}))
          << "level " << level << " pixel " << i / 3;
    }
  }
}

TEST(NvoImgLibSaturation, ValidatesBeforeChanging)
{
  EXPECT_EQ(IL_ChangeBitmapSaturation(nullptr, 0), IL_ERR_NULL_HANDLE);
  Picture p(2, 2);
  p.Fill(9);
  p.pixels[0] = 200;
  _tagBITMAPHANDLE bad = p.bitmap;
  EXPECT_EQ(IL_ChangeBitmapSaturation(&p.bitmap, 1001), IL_ERR_INVALID_PARAMETER);
  bad.colorOrder = 2;
  EXPECT_EQ(IL_ChangeBitmapSaturation(&bad, 0), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.bitsPerPixel = 8;
  EXPECT_EQ(IL_ChangeBitmapSaturation(&bad, 0), IL_ERR_INVALID_PARAMETER);
  bad = p.bitmap;
  bad.bits = nullptr;
  EXPECT_EQ(IL_ChangeBitmapSaturation(&bad, 0), IL_ERR_INVALID_PARAMETER);
  EXPECT_EQ(p.pixels[0], 200);
  bad = p.bitmap;
  bad.height = 0;
  bad.dataSize = 0;
  EXPECT_EQ(IL_ChangeBitmapSaturation(&bad, -1000), IL_SUCCESS);
  EXPECT_EQ(p.pixels[0], 200);
}

}  // namespace
