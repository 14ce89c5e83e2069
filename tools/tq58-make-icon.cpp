// Makes the driver's icon file: an Apple icon container ("icns") holding one
// 128 x 128 PNG picture ("ic07") of a small photo printer with a print.
// Usage: tq58-make-icon out.icns
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "StandardOptions.h"

namespace {

const char* const kHelp =
    "Usage: tq58-make-icon OUT.icns\n"
    "\n"
    "Draws the TQ-58 driver's icon, a 128 x 128 picture of a photo printer with\n"
    "a print, and writes it as an icon container with one PNG to OUT.icns.\n";

constexpr int kSide = 128;

struct Rgba {
  uint8_t r, g, b, a;
};

void FillRect(std::vector<Rgba>* pixels, int x0, int y0, int x1, int y1, Rgba colour)
{
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) (*pixels)[static_cast<size_t>(y) * kSide + x] = colour;
}

// The picture: a grey printer body, a dark paper slot and a print with three colour bands.
std::vector<Rgba> DrawPrinter()
{
  std::vector<Rgba> pixels(kSide * kSide, Rgba{0, 0, 0, 0});
  FillRect(&pixels, 12, 48, 116, 100, {96, 104, 112, 255});
  FillRect(&pixels, 20, 56, 108, 64, {40, 44, 48, 255});
  FillRect(&pixels, 32, 12, 96, 60, {250, 250, 250, 255});
  FillRect(&pixels, 38, 18, 90, 30, {0, 170, 220, 255});
  FillRect(&pixels, 38, 30, 90, 42, {220, 0, 130, 255});
  FillRect(&pixels, 38, 42, 90, 54, {250, 220, 0, 255});
  FillRect(&pixels, 92, 84, 104, 92, {80, 220, 100, 255});
  return pixels;
}

void StoreBE4(std::vector<uint8_t>* out, uint32_t value)
{
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(value >> shift));
}

bool EncodePng(const std::vector<Rgba>& pixels, std::vector<uint8_t>* png)
{
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = kSide;
  image.height = kSide;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr)) return false;
  png->resize(size);
  return png_image_write_to_memory(&image, png->data(), &size, 0, pixels.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-make-icon", kHelp, {}, 1, 1};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  std::vector<uint8_t> png;
  if (!EncodePng(DrawPrinter(), &png)) return 1;
  // The container: magic and total length, then one entry: type, length (with its 8-byte head), data.
  std::vector<uint8_t> icns = {'i', 'c', 'n', 's'};
  StoreBE4(&icns, static_cast<uint32_t>(8 + 8 + png.size()));
  icns.insert(icns.end(), {'i', 'c', '0', '7'});
  StoreBE4(&icns, static_cast<uint32_t>(8 + png.size()));
  icns.insert(icns.end(), png.begin(), png.end());
  FILE* f = std::fopen(command.operands[0].c_str(), "wb");
  if (f == nullptr) return 1;
  const bool ok = std::fwrite(icns.data(), 1, icns.size(), f) == icns.size();
  return std::fclose(f) == 0 && ok ? 0 : 1;
}
