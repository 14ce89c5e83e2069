// The job's image settings: what the colour pipeline does to every page. One
// value, read from the job options by the device entry and handed whole to the
// image buffer before each page.
#ifndef TQ58_IMAGESETTINGS_H
#define TQ58_IMAGESETTINGS_H

#include <cstdint>
#include <string>

struct ImageSettings {
  int64_t resolution = 300;      // vertical dpi: 300 or 600
  int64_t resolutionMode = 0;    // 0 300x300, 1 300x600, 2 600x600 dpi
  uint8_t paperRotate = 0;       // turn the page a quarter turn
  uint8_t border = 0;            // shrink the picture inside the media's white border
  uint8_t icm = 1;               // ICC colour matching
  int32_t sharpness = 0;         // -1000 .. 1000, 0 neutral
  uint8_t colorAdjustment = 0;   // apply gamma, intensity, contrast and saturation
  int32_t gamma[3] = {0, 0, 0};  // R, G, B in hundredths, 100 neutral
  int32_t intensity[3] = {0, 0, 0};
  int32_t contrast[3] = {0, 0, 0};
  int32_t saturation = 0;
  std::string iccProfilePath;  // printer-side profile; empty: none
};

#endif
