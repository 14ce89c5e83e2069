// ICC transforms built from real profiles: which profiles give a transform,
// what the conversion does to pixels, and how it keeps to the row stride.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ColorTransform.h"
#include "TempRoot.h"

namespace {

const char* const kSwapped = "/usr/share/color/icc/colord/SwappedRedAndGreen.icc";
const char* const kSrgb = "/usr/share/color/icc/colord/sRGB.icc";
const char* const kGray = "/usr/share/color/icc/Gray.icc";

// Owns a transform for the length of a test.
struct Transform {
  explicit Transform(const char* path) : ref(get_colord_transform_func(path)) {}
  ~Transform() { releaseTransform(ref); }
  ColorTransformRef ref;
};

std::vector<unsigned char> ConvertRow(const Transform& t, const std::vector<unsigned char>& src)
{
  std::vector<unsigned char> dst(src.size(), 7);
  const long width = static_cast<long>(src.size() / 3);
  EXPECT_TRUE(ColorTransformConvert(t.ref, width, 1, dst.data(), dst.size(), src.data(), src.size()));
  return dst;
}

TEST(ColorTransform, OnlyReadableRgbProfilesGiveATransform)
{
  TempRoot root;
  const std::string text = root.WriteFile("notice.icc", "this is not an ICC profile\n");
  const std::string empty = root.WriteFile("empty.icc", "");
  testing::internal::CaptureStderr();
  EXPECT_EQ(get_colord_transform_func(nullptr), nullptr);
  EXPECT_EQ(get_colord_transform_func(""), nullptr);
  EXPECT_EQ(get_colord_transform_func((root.Path() + "/missing.icc").c_str()), nullptr);
  EXPECT_EQ(get_colord_transform_func(root.Path().c_str()), nullptr);  // a folder
  EXPECT_EQ(get_colord_transform_func(text.c_str()), nullptr);
  EXPECT_EQ(get_colord_transform_func(empty.c_str()), nullptr);
  // A grey profile cannot take RGB output: no transform.
  EXPECT_EQ(get_colord_transform_func(kGray), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the filter writes nothing to stderr
  Transform swapped(kSwapped);
  EXPECT_NE(swapped.ref, nullptr);
  releaseTransform(nullptr);
}

TEST(ColorTransform, SwappedProfileExchangesRedAndGreen)
{
  Transform t(kSwapped);
  ASSERT_NE(t.ref, nullptr);
  const std::vector<unsigned char> pure = {255, 0, 0, 0,   255, 0, 0,   0, 255, 255, 255, 255,
                                           0,   0, 0, 255, 255, 0, 255, 0, 255, 0,   255, 255};
  const std::vector<unsigned char> swapped = {0, 255, 0, 255, 0,   0, 0, 0,   255, 255, 255, 255,
                                              0, 0,   0, 255, 255, 0, 0, 255, 255, 255, 0,   255};
  EXPECT_EQ(ConvertRow(t, pure), swapped);
  std::vector<unsigned char> inPlace = pure;
  ASSERT_TRUE(ColorTransformConvert(t.ref, 8, 1, inPlace.data(), inPlace.size(), inPlace.data(), inPlace.size()));
  EXPECT_EQ(inPlace, swapped);
  // Mixed colours: red and green change places, within a step of rounding.
  const std::vector<unsigned char> mixed = {200, 100, 50, 10, 20, 30, 128, 64, 32, 90, 180, 240};
  const std::vector<unsigned char> out = ConvertRow(t, mixed);
  for (size_t i = 0; i < mixed.size(); i += 3) {
    EXPECT_NEAR(out[i], mixed[i + 1], 1) << i / 3;
    EXPECT_NEAR(out[i + 1], mixed[i], 1) << i / 3;
    EXPECT_NEAR(out[i + 2], mixed[i + 2], 1) << i / 3;
  }
}

TEST(ColorTransform, SrgbProfileIsCloseToIdentity)
{
  Transform t(kSrgb);
  ASSERT_NE(t.ref, nullptr);
  std::vector<unsigned char> grid;
  for (int r = 0; r < 256; r += 17)
    for (int g = 0; g < 256; g += 51)
      for (int b = 0; b < 256; b += 85)
        grid.insert(grid.end(),
                    {static_cast<unsigned char>(r), static_cast<unsigned char>(g), static_cast<unsigned char>(b)});
  const std::vector<unsigned char> out = ConvertRow(t, grid);
  for (size_t i = 0; i < grid.size(); ++i) EXPECT_NEAR(out[i], grid[i], 1) << i;
}

TEST(ColorTransform, RowStrideIsKeptAndPaddingLeftAlone)
{
  Transform t(kSwapped);
  ASSERT_NE(t.ref, nullptr);
  // Two rows of two pixels: source rows 8 bytes apart, destination rows 10.
  const std::vector<unsigned char> src = {255, 0,   0, 0,   0,   255, 1, 2,  //
                                          0,   255, 0, 255, 255, 255, 3, 4};
  std::vector<unsigned char> dst(20, 9);
  ASSERT_TRUE(ColorTransformConvert(t.ref, 2, 2, dst.data(), 10, src.data(), 8));
  const std::vector<unsigned char> expected = {0,   255, 0, 0,   0,   255, 9, 9, 9, 9,  //
                                               255, 0,   0, 255, 255, 255, 9, 9, 9, 9};
  EXPECT_EQ(dst, expected);
}

TEST(ColorTransform, ConvertRefusesWhatItCannotDoSafely)
{
  Transform t(kSwapped);
  ASSERT_NE(t.ref, nullptr);
  std::vector<unsigned char> src(12, 0), dst(12, 5);
  EXPECT_FALSE(ColorTransformConvert(nullptr, 4, 1, dst.data(), 12, src.data(), 12));
  EXPECT_FALSE(ColorTransformConvert(t.ref, 4, 1, nullptr, 12, src.data(), 12));
  EXPECT_FALSE(ColorTransformConvert(t.ref, 4, 1, dst.data(), 12, nullptr, 12));
  EXPECT_FALSE(ColorTransformConvert(t.ref, -1, 1, dst.data(), 12, src.data(), 12));
  EXPECT_FALSE(ColorTransformConvert(t.ref, 4, -1, dst.data(), 12, src.data(), 12));
  // A stride shorter than a row of pixels would run past the rows.
  EXPECT_FALSE(ColorTransformConvert(t.ref, 4, 1, dst.data(), 11, src.data(), 12));
  EXPECT_FALSE(ColorTransformConvert(t.ref, 4, 1, dst.data(), 12, src.data(), 11));
  EXPECT_EQ(dst, std::vector<unsigned char>(12, 5));
  EXPECT_TRUE(ColorTransformConvert(t.ref, 0, 1, dst.data(), 12, src.data(), 12));
  EXPECT_EQ(dst, std::vector<unsigned char>(12, 5));
}

}  // namespace

namespace {

const char* const kAdobe = "/usr/share/color/icc/colord/AdobeRGB1998.icc";

// Converts a picture of width x height packed pixels in place, rows padded to stride.
std::vector<unsigned char> ConvertPicture(const Transform& t, std::vector<unsigned char> pixels, long width,
                                          long height)
{
  const size_t used = 3 * static_cast<size_t>(width);
  const size_t stride = used + 2;
  std::vector<unsigned char> padded(stride * static_cast<size_t>(height), 0xA5);
  for (long y = 0; y < height; ++y) {
    std::copy_n(pixels.begin() + y * used, used, padded.begin() + y * stride);
  }
  EXPECT_TRUE(ColorTransformConvert(t.ref, width, height, padded.data(), stride, padded.data(), stride));
  for (long y = 0; y < height; ++y) {
    std::copy_n(padded.begin() + y * stride, used, pixels.begin() + y * used);
    EXPECT_EQ(padded[y * stride + used], 0xA5);
  }
  return pixels;
}

// The transform remembers converted colours; what it gives for a remembered
// colour must be lcms2's own result. Within one row every colour goes to lcms2,
// so the picture laid out as a single row through a fresh transform is the
// reference. The picture has a noisy half (the table gives up on it for a
// while) and a half of a few colours (nearly every pixel remembered).
TEST(ColorTransform, RememberedColoursGiveTheSameBytesAsLcms)
{
  const long width = 301, height = 400;
  std::vector<unsigned char> pixels(3 * static_cast<size_t>(width * height));
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const size_t half = pixels.size() / 2;
  for (size_t i = 0; i < half; ++i) {
    pixels[i] = static_cast<unsigned char>(next() >> 24);
  }
  for (size_t i = half / 3 * 3; i < pixels.size(); i += 3) {
    const uint32_t colour = (next() >> 20) % 37 * 0x010305u;
    pixels[i] = static_cast<unsigned char>(colour);
    pixels[i + 1] = static_cast<unsigned char>(colour >> 8);
    pixels[i + 2] = static_cast<unsigned char>(colour >> 16);
  }
  Transform reference(kAdobe);
  ASSERT_NE(reference.ref, nullptr);
  const std::vector<unsigned char> expected = ConvertRow(reference, pixels);
  Transform t(kAdobe);
  EXPECT_EQ(ConvertPicture(t, pixels, width, height), expected);
  // Once more through the same transform, its table now warm.
  EXPECT_EQ(ConvertPicture(t, pixels, width, height), expected);
}

}  // namespace
