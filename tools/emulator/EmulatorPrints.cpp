// The print stream side of the emulator: collects the packets of a print,
// counts it at CNTRL START and saves it when asked.
#include <png.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "EmulatorInternal.h"

namespace {

constexpr const char* kPlaneNames[3] = {"YPLANE", "MPLANE", "CPLANE"};
constexpr const char* kPlaneLetters[3] = {"Y", "M", "C"};

uint32_t LE4(const std::string& b, size_t at)
{
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// An 8-bit BMP file as the plane packets carry it.
struct Plane {
  uint32_t width = 0, height = 0, stride = 0, offset = 0;
};

bool ParsePlane(const std::string& bmp, Plane* p)
{
  if (bmp.size() < 54 || bmp[0] != 'B' || bmp[1] != 'M') return false;
  p->offset = LE4(bmp, 10);
  p->width = LE4(bmp, 18);
  p->height = LE4(bmp, 22);
  const uint16_t bits =
      static_cast<uint16_t>(static_cast<unsigned char>(bmp[28]) | static_cast<unsigned char>(bmp[29]) << 8);
  if (bits != 8 || p->width == 0 || p->height == 0 || p->width > 20000 || p->height > 20000) return false;
  p->stride = (p->width * 8 + 31) / 32 * 4;
  return p->offset <= bmp.size() && bmp.size() - p->offset >= static_cast<uint64_t>(p->stride) * p->height;
}

// The three planes as one RGB picture: red from cyan, green from magenta,
// blue from yellow (a plane holds 255 where there is no ink), top row first.
bool WritePng(const EmulatedPrint& print, const std::string& path)
{
  if (print.planes.size() != 3) return false;
  Plane p[3];
  for (int i = 0; i < 3; ++i) {
    if (!ParsePlane(print.planes[i], &p[i])) return false;
  }
  if (p[1].width != p[0].width || p[2].width != p[0].width || p[1].height != p[0].height ||
      p[2].height != p[0].height) {
    return false;
  }
  const uint32_t w = p[0].width, h = p[0].height;
  std::vector<png_byte> rgb(static_cast<size_t>(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y) {
    const uint32_t row = h - 1 - y;  // BMP rows run bottom-up
    for (int c = 0; c < 3; ++c) {
      const int plane = 2 - c;  // C, M, Y
      const auto* src = reinterpret_cast<const unsigned char*>(print.planes[plane].data()) + p[plane].offset +
                        static_cast<size_t>(row) * p[plane].stride;
      for (uint32_t x = 0; x < w; ++x) rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = src[x];
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = w;
  image.height = h;
  image.format = PNG_FORMAT_RGB;
  return png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

}  // namespace

namespace tq58emu {

void TakePrintPacket(Printer* printer, const DecodedPacket& packet)
{
  EmulatedPrint& current = printer->current;
  if (current.planes.size() != 3) current.planes.assign(3, std::string());
  if (packet.command == "IMAGE" && packet.subcommand == "MULTICUT") {
    current.multiCut.assign(packet.payload.begin(), packet.payload.end());
    return;
  }
  for (int i = 0; i < 3; ++i) {
    if (packet.command == "IMAGE" && packet.subcommand == kPlaneNames[i]) {
      current.planes[i].assign(packet.payload.begin(), packet.payload.end());
      return;
    }
  }
  if (packet.command != "CNTRL" || packet.subcommand != "START") return;
  EmulatedPrinterState& s = printer->state;
  if (s.mediaRemain > 0) --s.mediaRemain;
  ++s.totalCount;
  current.number = static_cast<int>(printer->prints.size()) + 1;
  current.files = SavePrint(s, printer->name, current);
  printer->prints.push_back(std::move(current));
  printer->current = EmulatedPrint();
}

std::vector<std::string> SavePrint(const EmulatedPrinterState& state, const std::string& printerName,
                                   const EmulatedPrint& print)
{
  std::vector<std::string> files;
  if (state.saveFolder.empty()) return files;
  mkdir(state.saveFolder.c_str(), 0755);
  char base[64];
  std::snprintf(base, sizeof base, "print-%04d", print.number);
  const std::string stem = state.saveFolder + "/" + printerName + "-" + base;
  for (int i = 0; i < 3; ++i) {
    if (print.planes[i].empty()) continue;
    const std::string path = stem + "-" + kPlaneLetters[i] + ".bmp";
    std::ofstream(path, std::ios::binary) << print.planes[i];
    files.push_back(path);
  }
  if (state.savePng && WritePng(print, stem + ".png")) files.push_back(stem + ".png");
  return files;
}

}  // namespace tq58emu
