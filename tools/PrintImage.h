// Turns the plane packets of a print into pictures: a PNG of the print
// (composited from the three planes, 255 = white) and the planes' BMP files.
#ifndef TQ58_PRINTIMAGE_H
#define TQ58_PRINTIMAGE_H

#include <cstdint>
#include <string>
#include <vector>

#include "PacketDecoder.h"

// An 8-bit plane read back from a plane packet's BMP payload; rows top-down.
struct PlaneImage {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // width x height, row 0 = top of the picture
};

// Parses a plane packet's BMP (8 bits, uncompressed, bottom-up). False when malformed.
bool TQ58_ReadPlane(const DecodedPacket& packet, PlaneImage* plane, std::string* error);

// Writes an RGB PNG (rows top-down, 3 bytes per pixel). False on failure. Blocks on file I/O.
bool TQ58_WritePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb);

// Composites yellow, magenta and cyan planes into RGB: red from the cyan plane's
// value, green from magenta, blue from yellow (the planes hold the colour
// values themselves). False when the planes differ in size.
bool TQ58_ComposePrint(const PlaneImage& y, const PlaneImage& m, const PlaneImage& c, std::vector<uint8_t>* rgb);

// Writes every print of a stream (each Y, M, C plane triple) to dir as
// print-<n>.png and print-<n>-{Y,M,C}.bmp, n from 1. Returns the number of prints
// saved, or -1 with error set. Blocks on file I/O.
int TQ58_SavePrints(const std::vector<DecodedPacket>& packets, const std::string& dir,
                    std::vector<std::string>* written, std::string* error);
#endif
