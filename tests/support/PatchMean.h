// The mean of one channel over a 40 x 40 patch of an RGB picture, as the
// colour comparisons of whole prints take it.
#ifndef TQ58_TEST_PATCHMEAN_H
#define TQ58_TEST_PATCHMEAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

// Channel c (0 red, 1 green, 2 blue) over the 40 x 40 window centred at
// (x, y) of a picture width pixels wide, 3 bytes per pixel, rows top-down.
inline double GetPatchMean(const std::vector<uint8_t>& rgb, int width, int x, int y, int c)
{
  double sum = 0;
  for (int yy = y - 20; yy < y + 20; ++yy) {
    for (int xx = x - 20; xx < x + 20; ++xx) sum += rgb[(static_cast<size_t>(yy) * width + xx) * 3 + c];
  }
  return sum / 1600.0;
}

#endif
