// Makes the driver's icon: a PNG picture of a small photo printer with a
// print, of the given side in pixels (the icon theme's sizes).
// Usage: tq58-make-icon SIZE out.png
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "StandardOptions.h"

namespace {

const char* const kHelp =
    "Usage: tq58-make-icon SIZE OUT.png\n"
    "\n"
    "Draws the TQ-58 driver's icon, a SIZE x SIZE picture (16 to 512) of a photo\n"
    "printer with a print, and writes it as a PNG to OUT.png.\n";

// The picture is drawn on a grid of this side and scaled to the icon's.
constexpr int kGrid = 128;

struct Rgba {
  uint8_t r, g, b, a;
};

struct Picture {
  int side;
  std::vector<Rgba> pixels;
};

// Fills a rectangle given on the drawing grid, scaled to the picture's side.
void FillRect(Picture* picture, int x0, int y0, int x1, int y1, Rgba colour)
{
  const int side = picture->side;
  for (int y = y0 * side / kGrid; y < y1 * side / kGrid; ++y)
    for (int x = x0 * side / kGrid; x < x1 * side / kGrid; ++x)
      picture->pixels[static_cast<size_t>(y) * side + x] = colour;
}

// The picture: a grey printer body, a dark paper slot and a print with three colour bands.
Picture DrawPrinter(int side)
{
  Picture pixels{side, std::vector<Rgba>(static_cast<size_t>(side) * side, Rgba{0, 0, 0, 0})};
  FillRect(&pixels, 12, 48, 116, 100, {96, 104, 112, 255});
  FillRect(&pixels, 20, 56, 108, 64, {40, 44, 48, 255});
  FillRect(&pixels, 32, 12, 96, 60, {250, 250, 250, 255});
  FillRect(&pixels, 38, 18, 90, 30, {0, 170, 220, 255});
  FillRect(&pixels, 38, 30, 90, 42, {220, 0, 130, 255});
  FillRect(&pixels, 38, 42, 90, 54, {250, 220, 0, 255});
  FillRect(&pixels, 92, 84, 104, 92, {80, 220, 100, 255});
  return pixels;
}

bool EncodePng(const Picture& picture, std::vector<uint8_t>* png)
{
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.side);
  image.height = static_cast<png_uint_32>(picture.side);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, picture.pixels.data(), 0, nullptr)) return false;
  png->resize(size);
  return png_image_write_to_memory(&image, png->data(), &size, 0, picture.pixels.data(), 0, nullptr) != 0;
}

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"tq58-make-icon", kHelp, {}, 2, 2};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  char* end = nullptr;
  const long side = std::strtol(command.operands[0].c_str(), &end, 10);
  if (*end != '\0' || side < 16 || side > 512) {
    std::fprintf(stderr, "tq58-make-icon: SIZE must be 16 to 512 (see \"tq58-make-icon --help\" for the usage)\n");
    return 2;
  }
  std::vector<uint8_t> png;
  if (!EncodePng(DrawPrinter(static_cast<int>(side)), &png)) return 1;
  FILE* f = std::fopen(command.operands[1].c_str(), "wb");
  if (f == nullptr) return 1;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok ? 0 : 1;
}
