// Print slots and the plane packets of a print.
#include "PhotoImageBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "PacketHeader.h"
#include "PhotoPrinterDevice.h"
#include "TextUtil.h"

namespace {

constexpr int kBmpHeaders = 1088;  // file header 14 + info header 40 + palette 1024 + 10 reserved
const char* const kPlaneNames[kPlanesPerSlot] = {"YPLANE", "MPLANE", "CPLANE"};

void ResetSlot(_tagBITMAPHANDLE* slot)
{
  for (int p = 0; p < kPlanesPerSlot; ++p) {
    IL_FreeBitmap(&slot[p]);
    slot[p] = _tagBITMAPHANDLE{};
  }
}

// Packet header and BMP headers of a plane packet whose pixel area is stride x rows.
void WritePlaneHeaders(unsigned char* p, const DeviceMediaBufferInfo& media, uint32_t stride, uint32_t rows)
{
  const uint32_t image = stride * rows;
  TQ58_WritePacketHeader(p, "IMAGE", nullptr, true, kBmpHeaders + image);
  unsigned char* bmp = p + kPacketHeaderSize;
  std::memset(bmp, 0, kBmpHeaders);
  bmp[0] = 'B';
  bmp[1] = 'M';
  _StoreLE4(bmp + 2, kBmpHeaders + image);
  _StoreLE4(bmp + 10, kBmpHeaders);
  _StoreLE4(bmp + 14, 40);
  _StoreLE4(bmp + 18, static_cast<uint32_t>(media.headWidth));
  _StoreLE4(bmp + 22, rows);
  _StoreLE2(bmp + 26, 1);
  _StoreLE2(bmp + 28, 8);
  _StoreLE4(bmp + 34, image);
  _StoreLE4(bmp + 38, static_cast<uint32_t>(static_cast<double>(media.xDpi) * 1000 / 25.4));
  _StoreLE4(bmp + 42, static_cast<uint32_t>(static_cast<double>(media.yDpi) * 1000 / 25.4));
  _StoreLE4(bmp + 46, 256);
  _StoreLE4(bmp + 50, 256);
  for (int i = 0; i < 256; ++i) {
    unsigned char* entry = bmp + 54 + 4 * i;
    entry[0] = entry[1] = entry[2] = static_cast<unsigned char>(i);
  }
}

}  // namespace

PhotoImageBuffer::~PhotoImageBuffer()
{
  Clear();
}

int PhotoImageBuffer::Alloc(DeviceMediaBufferInfo media)
{
  if (!(media == allocatedMedia)) allocatedMedia = media;
  return 0;
}

int PhotoImageBuffer::Clear()
{
  // Records are reset whole, so an empty slot never keeps a stale size.
  for (auto& slot : planes) ResetSlot(slot);
  return 0;
}

int PhotoImageBuffer::Free()
{
  return Clear();
}

void PhotoImageBuffer::SetImageData(int slot, _tagBITMAPHANDLE* bitmap)
{
  if (slot < 0 || slot >= kImageSlots) return;
  ResetSlot(planes[slot]);  // planes left by a failed send are released, not leaked
  _tagBITMAPHANDLE* order[3] = {&planes[slot][2], &planes[slot][1], &planes[slot][0]};
  if (IL_ColorSeparateBitmap(bitmap, order, sizeof(_tagBITMAPHANDLE), 0) != IL_SUCCESS) ResetSlot(planes[slot]);
}

int PhotoImageBuffer::Send(DeviceEntry* entry, const DeviceMediaBufferInfo* media)
{
  if (entry == nullptr || media == nullptr || media->headWidth <= 0 || media->printHeightDots <= 0) return 3;
  const uint32_t stride = (static_cast<uint32_t>(media->headWidth) + 3u) & ~3u;
  const uint32_t rows = static_cast<uint32_t>(media->printHeightDots);
  const uint64_t total = kPlanePacketHeader + uint64_t{stride} * rows;
  if (total > 99999999u) return 3;  // beyond what the length field can say
  auto* packet = static_cast<unsigned char*>(std::malloc(total));
  if (packet == nullptr) return 3;
  WritePlaneHeaders(packet, *media, stride, rows);
  unsigned char* area = packet + kPlanePacketHeader;
  std::memset(area, 255, total - kPlanePacketHeader);

  const int images = std::min(media->imageCount, kImageSlots);
  for (int p = 0; p < kPlanesPerSlot; ++p) {
    std::memcpy(packet + 8, kPlaneNames[p], 6);
    for (int j = 0; j < images; ++j) {
      const _tagBITMAPHANDLE& plane = planes[j][p];
      const int h = std::min(plane.height, media->imageHeightDots);
      const int w = std::min(plane.width, media->headWidth);
      if (h <= 0 || w <= 0 || plane.bits == nullptr) continue;
      const int64_t y0 =
          (media->imageHeightDots - h) / 2 + int64_t{j} * (allocatedMedia.printHeightDots + media->imageGapDots);
      const int x0 = (media->headWidth - w) / 2;
      for (int r = 0; r < h; ++r) {
        if (y0 + r < 0 || y0 + r >= rows) continue;  // never outside the sheet
        std::memcpy(area + static_cast<size_t>(y0 + r) * stride + x0, plane.bits + size_t{plane.bytesPerLine} * r,
                    static_cast<size_t>(w));
      }
    }
    if (entry->SetCommand(packet, total) == 0) {
      std::free(packet);
      return 3;
    }
  }
  std::free(packet);
  return 0;
}
