// Runs every image operation on seeded random inputs and writes all result
// bytes to the file named by argv[1]. Built once per optimisation setting,
// and once more with TQ58_DUMP_PLAIN_PATH (the plain path) and
// TQ58_DUMP_AVX2_PATH (AVX2 where the processor has AVX-512 too);
// the outputs must be identical byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "NvoImgLib.h"
#include "NvoImgLib_Vector.h"

namespace {

constexpr int kRecordSize = sizeof(_tagBITMAPHANDLE);
std::FILE* g_out = nullptr;

void Emit(const void* data, size_t n)
{
  std::fwrite(data, 1, n, g_out);
}
void EmitInt(int v)
{
  Emit(&v, sizeof v);
}

void EmitPixels(const _tagBITMAPHANDLE& b)
{
  EmitInt(b.width);
  EmitInt(b.height);
  const size_t used = static_cast<size_t>(b.width) * (b.bitsPerPixel / 8);
  for (int y = 0; y < b.height; ++y) Emit(b.bits + static_cast<size_t>(y) * b.bytesPerLine, used);
}

struct Source {
  std::vector<unsigned char> pixels;
  _tagBITMAPHANDLE bitmap{};
  Source(int w, int h, unsigned order, std::mt19937& rng)
  {
    const size_t stride = static_cast<size_t>((w * 24 + 31) / 32 * 4);
    pixels.resize(stride * h);
    for (auto& b : pixels) b = static_cast<unsigned char>(rng() >> 24);
    IL_CreateBitmap(&bitmap, kRecordSize, 2, w, h, 24, order, nullptr, 4, pixels.data(), pixels.size());
  }
  ~Source() { IL_FreeBitmap(&bitmap); }
};

void DumpResampling(std::mt19937& rng)
{
  const int sizes[][4] = {{37, 23, 37, 23}, {37, 23, 18, 23}, {37, 23, 51, 40}, {40, 30, 29, 17},
                          {13, 7, 100, 3},  {64, 64, 63, 65}, {5, 91, 5, 17},   {1, 1, 9, 9}};
  for (const auto& s : sizes) {
    Source src(s[0], s[1], rng() % 2, rng);
    EmitInt(IL_SizeBitmap(&src.bitmap, s[2], s[3], 4));
    EmitPixels(src.bitmap);
  }
}

void DumpSharpenAndSaturation(std::mt19937& rng)
{
  for (int level : {-1000, -975, -333, -1, 1, 25, 333, 650, 999, 1000}) {
    // Draws in separate statements: argument evaluation order is unspecified.
    const int w = 1 + static_cast<int>(rng() % 40);
    const int h = 1 + static_cast<int>(rng() % 30);
    const unsigned order = rng() % 2;
    Source src(w, h, order, rng);
    EmitInt(IL_SharpenBitmap(&src.bitmap, level));
    EmitPixels(src.bitmap);
  }
  for (int level : {-1000, -777, -1, 0, 1, 250, 500, 1000}) {
    Source src(61, 47, rng() % 2, rng);
    EmitInt(IL_ChangeBitmapSaturation(&src.bitmap, level));
    EmitPixels(src.bitmap);
  }
}

void DumpHsl(std::mt19937& rng)
{
  for (int i = 0; i < 20000; ++i) {
    const int r = static_cast<int>(rng() % 256), g = static_cast<int>(rng() % 256), b = static_cast<int>(rng() % 256);
    double hsl[3];
    RGBtoHSL(r, g, b, &hsl[0], &hsl[1], &hsl[2]);
    Emit(hsl, sizeof hsl);
    unsigned char out[3];
    const double chroma = static_cast<double>(rng() % 256);
    HSLtoRGB(&out[0], &out[1], &out[2], hsl[0], chroma, hsl[2]);
    Emit(out, 3);
  }
}

// Tone tables on the planes of one bitmap, then the merge that applies them.
void DumpPlanes(std::mt19937& rng)
{
  const unsigned gammas[] = {1, 37, 50, 99, 100, 101, 200, 1000, 65535};
  const int levels[] = {-1000, -513, -4, -1, 0, 1, 499, 1000};
  for (unsigned gamma : gammas) {
    for (int level : levels) {
      Source src(17, 9, rng() % 2, rng);
      _tagBITMAPHANDLE records[3] = {};
      _tagBITMAPHANDLE* planes[3] = {&records[0], &records[1], &records[2]};
      EmitInt(IL_ColorSeparateBitmap(&src.bitmap, planes, kRecordSize, 0));
      EmitInt(IL_GammaCorrectBitmap(planes[0], gamma));
      EmitInt(IL_ChangeBitmapIntensity(planes[1], level));
      EmitInt(IL_ChangeBitmapContrast(planes[2], level));
      EmitInt(IL_ChangeBitmapContrast(planes[0], -level));
      _tagBITMAPHANDLE merged{};
      EmitInt(IL_ColorMergeBitmap(&merged, planes, kRecordSize, 0));
      EmitPixels(merged);
      IL_FreeBitmap(&merged);
      for (auto& r : records) IL_FreeBitmap(&r);
    }
  }
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2 || (g_out = std::fopen(argv[1], "wb")) == nullptr) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
#ifdef TQ58_DUMP_PLAIN_PATH
  nvoimg::SetVectorPathEnabled(false);
#endif
#ifdef TQ58_DUMP_AVX2_PATH
  nvoimg::SetVectorPath(nvoimg::VectorPath::kAvx2);
#endif
  std::mt19937 rng(20240601);
  DumpResampling(rng);
  DumpSharpenAndSaturation(rng);
  DumpHsl(rng);
  DumpPlanes(rng);
  return std::fclose(g_out) == 0 ? 0 : 1;
}
