// Image library timings on page-sized bitmaps of seeded random pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "NvoImgLib.h"

namespace {

constexpr int kRecordSize = sizeof(_tagBITMAPHANDLE);

uint32_t Stride24(int width) { return static_cast<uint32_t>((width * 24 + 31) / 32 * 4); }

std::vector<unsigned char> RandomPixels(int width, int height, uint32_t seed) {
  std::vector<unsigned char> pixels(static_cast<size_t>(Stride24(width)) * height);
  std::mt19937 rng(seed);
  for (auto& b : pixels) {
    b = static_cast<unsigned char>(rng() >> 24);
  }
  return pixels;
}

// Smooth gradients with mild noise, closer to a photograph than pure noise.
std::vector<unsigned char> PhotoLikePixels(int width, int height, uint32_t seed) {
  std::vector<unsigned char> pixels(static_cast<size_t>(Stride24(width)) * height);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = pixels.data() + static_cast<size_t>(y) * Stride24(width);
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(rng() % 7) - 3;
      row[3 * x] = static_cast<unsigned char>(std::clamp(x * 255 / width + noise, 0, 255));
      row[3 * x + 1] = static_cast<unsigned char>(std::clamp(y * 255 / height + noise, 0, 255));
      row[3 * x + 2] = static_cast<unsigned char>(std::clamp(128 + (x - y) / 16 + noise, 0, 255));
    }
  }
  return pixels;
}

_tagBITMAPHANDLE Wrap(std::vector<unsigned char>& pixels, int width, int height) {
  _tagBITMAPHANDLE bitmap{};
  if (IL_CreateBitmap(&bitmap, kRecordSize, 2, width, height, 24, 1, nullptr, 4, pixels.data(),
                      pixels.size()) != IL_SUCCESS) {
    std::abort();
  }
  return bitmap;
}

void BM_SizeBitmap_Halve600dpi(benchmark::State& state) {
  auto page = RandomPixels(2532, 3672, 1);
  for (auto _ : state) {
    _tagBITMAPHANDLE bitmap = Wrap(page, 2532, 3672);
    benchmark::DoNotOptimize(IL_SizeBitmap(&bitmap, 1266, 3672, 4));
    IL_FreeBitmap(&bitmap);
  }
}
BENCHMARK(BM_SizeBitmap_Halve600dpi)->Unit(benchmark::kMillisecond);

// The bordered-print shrink: 1000-row strips resampled one by one into a
// white page of the shrunk size.
void BM_SizeBitmap_BorderShrinkStrips(benchmark::State& state) {
  const int width = 1266, height = 1836;
  auto page = RandomPixels(width, height, 2);
  const float s = static_cast<float>((1266.0 - 132.0) / 1266.0);
  const int w2 = static_cast<int>(static_cast<float>(width) * s);
  const int h2 = static_cast<int>(static_cast<float>(height) * s);
  std::vector<unsigned char> out(static_cast<size_t>(Stride24(w2)) * h2);
  for (auto _ : state) {
    std::memset(out.data(), 255, out.size());
    int d = 0;
    for (int first = 0; first < height; first += 1000) {
      const int m = std::min(1000, height - first);
      std::vector<unsigned char> strip(page.begin() + static_cast<ptrdiff_t>(first) * Stride24(width),
                                       page.begin() + static_cast<ptrdiff_t>(first + m) * Stride24(width));
      _tagBITMAPHANDLE bitmap = Wrap(strip, width, m);
      const int newHeight = static_cast<int>(static_cast<float>(m) * s);
      if (newHeight > 0 && IL_SizeBitmap(&bitmap, w2, newHeight, 4) == IL_SUCCESS) {
        const int rows = std::min(newHeight, h2 - d);
        std::memcpy(out.data() + static_cast<size_t>(d) * Stride24(w2), bitmap.bits,
                    static_cast<size_t>(rows) * Stride24(w2));
        d += rows;
      }
      IL_FreeBitmap(&bitmap);
    }
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_SizeBitmap_BorderShrinkStrips)->Unit(benchmark::kMillisecond);

void BM_SharpenBitmap_650(benchmark::State& state) {
  const auto pristine = RandomPixels(1266, 1836, 3);
  auto page = pristine;
  for (auto _ : state) {
    state.PauseTiming();
    page = pristine;
    _tagBITMAPHANDLE bitmap = Wrap(page, 1266, 1836);
    state.ResumeTiming();
    benchmark::DoNotOptimize(IL_SharpenBitmap(&bitmap, 650));
  }
}
BENCHMARK(BM_SharpenBitmap_650)->Unit(benchmark::kMillisecond);

void Saturation(benchmark::State& state, const std::vector<unsigned char>& pristine) {
  auto page = pristine;
  for (auto _ : state) {
    state.PauseTiming();
    page = pristine;
    _tagBITMAPHANDLE bitmap = Wrap(page, 1266, 1836);
    state.ResumeTiming();
    benchmark::DoNotOptimize(IL_ChangeBitmapSaturation(&bitmap, 0));
  }
}

void BM_ChangeBitmapSaturation_0_Random(benchmark::State& state) {
  Saturation(state, RandomPixels(1266, 1836, 4));
}
BENCHMARK(BM_ChangeBitmapSaturation_0_Random)->Unit(benchmark::kMillisecond);

void BM_ChangeBitmapSaturation_0_PhotoLike(benchmark::State& state) {
  Saturation(state, PhotoLikePixels(1266, 1836, 5));
}
BENCHMARK(BM_ChangeBitmapSaturation_0_PhotoLike)->Unit(benchmark::kMillisecond);

void BM_SeparateAndMerge(benchmark::State& state) {
  auto page = RandomPixels(1266, 1836, 6);
  for (auto _ : state) {
    _tagBITMAPHANDLE bitmap = Wrap(page, 1266, 1836);
    _tagBITMAPHANDLE planeRecords[3] = {};
    _tagBITMAPHANDLE* planes[3] = {&planeRecords[0], &planeRecords[1], &planeRecords[2]};
    _tagBITMAPHANDLE merged{};
    benchmark::DoNotOptimize(IL_ColorSeparateBitmap(&bitmap, planes, kRecordSize, 0));
    benchmark::DoNotOptimize(IL_ColorMergeBitmap(&merged, planes, kRecordSize, 0));
    for (auto& plane : planeRecords) {
      IL_FreeBitmap(&plane);
    }
    IL_FreeBitmap(&merged);
  }
}
BENCHMARK(BM_SeparateAndMerge)->Unit(benchmark::kMillisecond);

}  // namespace
