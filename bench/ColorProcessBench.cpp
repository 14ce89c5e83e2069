// Colour pipeline timings: one bordered 4x6 page at 300 dpi with ICC matching,
// sharpening and colour adjustment, and one 600x600 dpi page.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "PhotoImageBuffer.h"
#include "PhotoPrinterDeviceTQ58.h"

namespace {

size_t Stride24(int width) { return static_cast<size_t>(width * 24 + 31) / 32 * 4; }

// Smooth gradients with mild noise, closer to a photograph than pure noise.
std::vector<unsigned char> PhotoLikePage(int width, int height) {
  std::vector<unsigned char> page(Stride24(width) * static_cast<size_t>(height));
  std::mt19937 rng(7);
  for (int y = 0; y < height; ++y) {
    unsigned char* row = page.data() + static_cast<size_t>(y) * Stride24(width);
    for (int x = 0; x < width; ++x) {
      const int noise = static_cast<int>(rng() % 7) - 3;
      row[3 * x] = static_cast<unsigned char>(std::clamp(x * 255 / width + noise, 0, 255));
      row[3 * x + 1] = static_cast<unsigned char>(std::clamp(y * 255 / height + noise, 0, 255));
      row[3 * x + 2] = static_cast<unsigned char>(std::clamp(128 + (x - y) / 16 + noise, 0, 255));
    }
  }
  return page;
}

// The settings of a bordered 4x6 job with every colour step at work.
void JobSettings(PhotoImageBuffer& buffer) {
  buffer.Alloc(gMediaInfo_TQ58[1]);  // 102x153 mm
  buffer.border = 1;
  buffer.icm = 1;
  buffer.iccProfilePath = "/usr/share/color/icc/colord/sRGB.icc";
  buffer.sharpness = 700;
  buffer.colorAdjustment = 1;
  const int gamma[3] = {110, 100, 95}, intensity[3] = {40, 0, -40}, contrast[3] = {100, 50, 0};
  std::copy(gamma, gamma + 3, buffer.gamma);
  std::copy(intensity, intensity + 3, buffer.intensity);
  std::copy(contrast, contrast + 3, buffer.contrast);
  buffer.saturation = 150;
}

void RunPages(benchmark::State& state, PhotoImageBuffer& buffer, int width, int height) {
  const std::vector<unsigned char> page = PhotoLikePage(width, height);
  for (auto _ : state) {
    state.PauseTiming();
    void* copy = std::malloc(page.size());
    std::memcpy(copy, page.data(), page.size());
    state.ResumeTiming();
    _tagBITMAPHANDLE* result = buffer.ColorProcess(copy, width, height, 0);
    benchmark::DoNotOptimize(result);
    if (result == nullptr) {
      state.SkipWithError("no result");
      break;
    }
    IL_FreeBitmap(result);
    std::free(result);
  }
}

void BM_ColorProcess_300dpi_4x6(benchmark::State& state) {
  PhotoImageBuffer buffer;
  JobSettings(buffer);
  RunPages(state, buffer, 1266, 1836);
}

void BM_ColorProcess_600x600dpi_4x6(benchmark::State& state) {
  PhotoImageBuffer buffer;
  JobSettings(buffer);
  buffer.resolution = 600;
  buffer.resolutionMode = 2;
  RunPages(state, buffer, 2532, 3672);
}

}  // namespace

BENCHMARK(BM_ColorProcess_300dpi_4x6)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_ColorProcess_600x600dpi_4x6)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
