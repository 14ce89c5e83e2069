#ifndef TQ58_DEVICEMEDIABUFFERINFO_H
#define TQ58_DEVICEMEDIABUFFERINFO_H

#include <cstdint>

// Geometry of one media: a row of the media table (mediaCode .. minFirmware)
// and the dot fields computed from it for the job's resolution.
struct DeviceMediaBufferInfo {
  int32_t mediaCode = -1;
  int32_t multiCutCode = 0;
  double widthInch = 0;
  double lengthInch = 0;
  int32_t baseDpi = 0;
  int32_t printWidth = 0;
  int32_t printHeight = 0;
  int32_t borderX = 0;
  int32_t borderY = 0;
  int32_t imageGap = 0;
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  int32_t imagesPerSheet = 0;
  uint8_t cutAllowed = 0;
  double minFirmware = 0;
  int32_t headWidth = 0;
  int64_t xDpi = 0;
  int64_t yDpi = 0;
  int32_t printWidthDots = 0;
  int32_t printHeightDots = 0;
  int32_t imageWidthDots = 0;
  int32_t imageHeightDots = 0;
  int32_t imageGapDots = 0;
  int32_t imageCount = 0;

  bool operator==(const DeviceMediaBufferInfo&) const = default;
};

#endif
