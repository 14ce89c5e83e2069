// The device entry's image buffer: the colour pipeline that turns a page into
// the finished bitmap, three print slots of three 8-bit planes each, and the
// plane packets (8-bit BMP files as wide as the print head) that carry a print.
#ifndef TQ58_PHOTOIMAGEBUFFER_H
#define TQ58_PHOTOIMAGEBUFFER_H

#include <cstdint>
#include <string>

#include "DeviceMediaBufferInfo.h"
#include "ImageSettings.h"
#include "NvoImgLib.h"

class DeviceEntry;

constexpr int kImageSlots = 3;
constexpr int kPlanesPerSlot = 3;         // 0 yellow, 1 magenta, 2 cyan
constexpr int kPlanePacketHeader = 1120;  // 32-byte packet header + 1088 bytes of BMP headers and palette

// The settings are those of the page processed last (MakeImageData hands them
// in); until then border 1 and icm 0 stand in for them.
class PhotoImageBuffer : public ImageSettings {
public:
  DeviceMediaBufferInfo allocatedMedia;
  _tagBITMAPHANDLE planes[kImageSlots][kPlanesPerSlot] = {};
  // The document page's size in points, as the raster header gives it
  // (cupsPageSize); 0 when unknown.
  double pageSizePoints[2] = {0, 0};

  PhotoImageBuffer()
  {
    border = 1;
    icm = 0;
  }
  PhotoImageBuffer(const PhotoImageBuffer&) = delete;
  PhotoImageBuffer& operator=(const PhotoImageBuffer&) = delete;
  virtual ~PhotoImageBuffer();

  // Binds the buffer to a media description (kept when it differs). Returns 0.
  int Alloc(DeviceMediaBufferInfo media);
  // Releases all nine planes; every slot becomes empty. Returns 0.
  int Clear();
  int Free();

  // Splits bitmap (colorOrder 1) into slot's planes: byte 0 to cyan, 1 to
  // magenta, 2 to yellow. The slot is emptied first; a failed split leaves it empty.
  void SetImageData(int slot, _tagBITMAPHANDLE* bitmap);

  // Writes the three plane packets of the filled slots through entry->SetCommand.
  // 0 on success, 3 when the packet buffer cannot be had or a write is refused.
  int Send(DeviceEntry* entry, const DeviceMediaBufferInfo* media);

  // Runs the colour pipeline on a page buffer (24-bit RGB, rows bottom-up,
  // taken over from the caller) and returns a new record owning the finished
  // bitmap (colorOrder 1), or null when there is no page to print: memory
  // exhausted, or a page of zero or oversized width or height. slot is unused.
  _tagBITMAPHANDLE* ColorProcess(void* page, long width, long height, int slot);
};

// Pages up to this much smaller than the print area are taken for the media's
// own size; a smaller page is meant for other media and is not enlarged.
inline constexpr double kMaxBleedScale = 1.1;

// The print area of a media reaches past its edges, so that a borderless print
// has no white edge. A page of the media's own size (what the PPD describes)
// is enlarged by this factor to cover it: the larger of print area / page
// across and along. 1 when the page is as large as the print area already
// (the sizes of PPDs that described the print area), its size is unknown, the
// media has no print area, or the page is meant for other media. Does not block.
double GetBleedScale(const DeviceMediaBufferInfo& media, const double pagePoints[2]);

#endif
