// Draws a sample photo for the demo: a colour chart with hue and grey
// gradients, primary and secondary patches and skin-tone patches, as PNG.
// Usage: tq58-make-sample out.png|out.ppm [width height]   (default 1266 x 1836)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PrintImage.h"
#include "StandardOptions.h"

namespace {

struct Rgb {
  uint8_t r, g, b;
};

Rgb Hue(double h)  // h in 0..1, full saturation
{
  const double x = h * 6.0;
  const int i = static_cast<int>(x) % 6;
  const double f = x - std::floor(x);
  const auto v = [](double t) { return static_cast<uint8_t>(std::lround(t * 255.0)); };
  switch (i) {
  case 0: return {255, v(f), 0};
  case 1: return {v(1 - f), 255, 0};
  case 2: return {0, 255, v(f)};
  case 3: return {0, v(1 - f), 255};
  case 4: return {v(f), 0, 255};
  default: return {255, 0, v(1 - f)};
  }
}

const Rgb kPatches[] = {{255, 0, 0},     {0, 255, 0}, {0, 0, 255},     {0, 255, 255},   {255, 0, 255},  {255, 255, 0},
                        {255, 255, 255}, {0, 0, 0},   {255, 224, 196}, {234, 192, 160}, {198, 134, 96}, {141, 85, 54}};

Rgb ChartPixel(int x, int y, int w, int h)
{
  const int band = h / 6;
  if (y < band) return Hue(double(x) / w);  // hue ramp
  if (y < 2 * band) {
    const uint8_t g = uint8_t(255 * x / (w - 1));
    return {g, g, g};
  }                    // grey ramp
  if (y < 4 * band) {  // patches 6 x 2
    const int col = x * 6 / w, row = (y - 2 * band) / band;
    return kPatches[row * 6 + col];
  }
  // Soft portrait-like area: a skin-tone disc on a sky gradient.
  const double cx = w / 2.0, cy = 5 * band, r = band * 0.9;
  const double d = std::hypot(x - cx, y - cy);
  if (d < r) {
    const double s = 1.0 - 0.25 * d / r;
    return {uint8_t(230 * s), uint8_t(180 * s), uint8_t(150 * s)};
  }
  return {uint8_t(90 + 60 * (y - 4 * band) / (2 * band)), uint8_t(140 + 50 * x / w), 220};
}

// Binary PPM, for tools that take no PNG (cjpeg makes the test JPEG from it).
bool WritePpm(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb)
{
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  std::fprintf(file, "P6\n%d %d\n255\n", w, h);
  const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
  return std::fclose(file) == 0 && ok;
}

const char* const kHelp =
    "Usage: tq58-make-sample OUT.png|OUT.ppm [WIDTH HEIGHT]\n"
    "\n"
    "Draws the demo's sample photo, a colour chart with hue and grey gradients,\n"
    "primary, secondary and skin-tone patches, WIDTH x HEIGHT pixels (12 to\n"
    "20000; 1266 x 1836 when not given), as PNG, or as PPM for a name ending in\n"
    "\".ppm\".\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-make-sample", kHelp, {}, 1, 3};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  const std::vector<std::string>& operands = command.operands;
  if (operands.size() == 2) return TQ58_UsageError(usage, "WIDTH needs HEIGHT");
  const bool sized = operands.size() == 3;
  const int w = sized ? std::atoi(operands[1].c_str()) : 1266, h = sized ? std::atoi(operands[2].c_str()) : 1836;
  if (w < 12 || h < 12 || w > 20000 || h > 20000) return TQ58_UsageError(usage, "WIDTH and HEIGHT must be 12 to 20000");
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb p = ChartPixel(x, y, w, h);
      uint8_t* out = &rgb[(size_t(y) * w + x) * 3];
      out[0] = p.r;
      out[1] = p.g;
      out[2] = p.b;
    }
  const std::string& path = operands[0];
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".ppm") == 0) return WritePpm(path, w, h, rgb) ? 0 : 1;
  return TQ58_WritePng(path, w, h, rgb) ? 0 : 1;
}
