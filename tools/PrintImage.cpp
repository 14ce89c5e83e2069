#include "PrintImage.h"

#include <png.h>

#include <cstdio>

namespace {

uint32_t LE4(const uint8_t* p)
{
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}
uint16_t LE2(const uint8_t* p)
{
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

bool TQ58_ReadPlane(const DecodedPacket& packet, PlaneImage* plane, std::string* error)
{
  const std::vector<uint8_t>& b = packet.payload;
  if (b.size() < 1088 || b[0] != 'B' || b[1] != 'M') {
    *error = "plane payload is not a BMP file";
    return false;
  }
  const uint32_t offset = LE4(&b[10]);
  const int32_t width = static_cast<int32_t>(LE4(&b[18]));
  const int32_t height = static_cast<int32_t>(LE4(&b[22]));
  if (LE2(&b[28]) != 8 || LE4(&b[30]) != 0 || width <= 0 || height <= 0 || LE4(&b[2]) != b.size()) {
    *error = "plane BMP header is not 8-bit uncompressed or its sizes disagree";
    return false;
  }
  const uint64_t stride = (uint64_t(width) + 3) / 4 * 4;
  if (offset > b.size() || stride * uint64_t(height) > b.size() - offset) {
    *error = "plane BMP pixel area runs past the packet";
    return false;
  }
  plane->width = width;
  plane->height = height;
  plane->pixels.resize(size_t(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = &b[offset + stride * uint64_t(height - 1 - y)];  // bottom-up in the file
    std::copy(row, row + width, plane->pixels.begin() + size_t(y) * width);
  }
  return true;
}

bool TQ58_ComposePrint(const PlaneImage& y, const PlaneImage& m, const PlaneImage& c, std::vector<uint8_t>* rgb)
{
  if (y.width != m.width || y.width != c.width || y.height != m.height || y.height != c.height) return false;
  rgb->resize(y.pixels.size() * 3);
  for (size_t i = 0; i < y.pixels.size(); ++i) {
    (*rgb)[3 * i] = c.pixels[i];
    (*rgb)[3 * i + 1] = m.pixels[i];
    (*rgb)[3 * i + 2] = y.pixels[i];
  }
  return true;
}

bool TQ58_WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb)
{
  if (width <= 0 || height <= 0 || rgb.size() != size_t(width) * height * 3) return false;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  bool ok = png != nullptr && info != nullptr;
  if (ok && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int yy = 0; yy < height; ++yy) png_write_row(png, rgb.data() + size_t(yy) * width * 3);
    png_write_end(png, nullptr);
  } else {
    ok = false;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

namespace {

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int TQ58_SavePrints(const std::vector<DecodedPacket>& packets, const std::string& dir,
                    std::vector<std::string>* written, std::string* error)
{
  static const char* const kNames[3] = {"YPLANE", "MPLANE", "CPLANE"};
  static const char kLetters[3] = {'Y', 'M', 'C'};
  int prints = 0;
  for (size_t i = 0; i + 2 < packets.size(); ++i) {
    if (packets[i].command != "IMAGE" || packets[i].subcommand != kNames[0]) continue;
    PlaneImage planes[3];
    for (int p = 0; p < 3; ++p) {
      if (packets[i + p].subcommand != kNames[p] || !TQ58_ReadPlane(packets[i + p], &planes[p], error)) {
        if (error->empty()) *error = "incomplete plane triple at packet " + std::to_string(i + p);
        return -1;
      }
    }
    std::vector<uint8_t> rgb;
    if (!TQ58_ComposePrint(planes[0], planes[1], planes[2], &rgb)) {
      *error = "planes of one print differ in size";
      return -1;
    }
    const std::string base = dir + "/print-" + std::to_string(++prints);
    for (int p = 0; p < 3; ++p) {
      const std::string bmp = base + "-" + kLetters[p] + ".bmp";
      if (!WriteBytes(bmp, packets[i + p].payload)) {
        *error = "cannot write " + bmp;
        return -1;
      }
      if (written != nullptr) written->push_back(bmp);
    }
    if (!TQ58_WritePng(base + ".png", planes[0].width, planes[0].height, rgb)) {
      *error = "cannot write " + base + ".png";
      return -1;
    }
    if (written != nullptr) written->push_back(base + ".png");
    i += 2;
  }
  return prints;
}
