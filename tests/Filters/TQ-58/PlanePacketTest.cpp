// Plane packets of a print: sizes, BMP headers, placement on the head-wide sheet.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "FilterTestUtil.h"
#include "PacketDecoder.h"
#include "PhotoPrinterDeviceTQ58.h"

namespace {

uint32_t LE4(const uint8_t* p)
{
  return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24;
}

// A 24-bit colorOrder 1 bitmap of w x h filled by fill(x, storedRow) = {b0, b1, b2}.
_tagBITMAPHANDLE* MakeBitmap(int w, int h, unsigned char b0, unsigned char b1, unsigned char b2)
{
  const size_t stride = (size_t(w) * 24 + 31) / 32 * 4;
  auto* pixels = static_cast<unsigned char*>(std::calloc(stride, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      pixels[y * stride + 3 * x] = b0;
      pixels[y * stride + 3 * x + 1] = b1;
      pixels[y * stride + 3 * x + 2] = b2;
    }
  auto* bmp = static_cast<_tagBITMAPHANDLE*>(std::calloc(1, sizeof(_tagBITMAPHANDLE)));
  EXPECT_EQ(IL_CreateBitmap(bmp, sizeof *bmp, 2, w, h, 24, 1, nullptr, 4, pixels, stride * h), IL_SUCCESS);
  bmp->memoryHandle = bmp->bits;
  return bmp;
}

void FreeBitmap(_tagBITMAPHANDLE* b)
{
  IL_FreeBitmap(b);
  std::free(b);
}

std::vector<DecodedPacket> Print(DeviceEntry_TQ58& e, _tagBITMAPHANDLE* bitmap)
{
  const std::string out = Capture(e, [&] {
    if (bitmap != nullptr) e.SetImageData(0, bitmap);
    EXPECT_TRUE(e.SendImageData(1));
  });
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(out.data()), out.size(), &packets, &error)) << error;
  return packets;
}

void Select(DeviceEntry_TQ58& e, const char* options)
{
  Options o(options);
  e.SetResolution(o.n, o.opts, nullptr);
  e.SetMediaSize(o.n, o.opts, nullptr);
}

TEST(PlanePackets, FourBySixSizesAndHeaders)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=102x153mm");
  const auto packets = Print(e, nullptr);
  ASSERT_EQ(packets.size(), 5u);
  EXPECT_EQ(packets[0].subcommand, "MULTICUT");
  EXPECT_EQ(std::string(packets[0].payload.begin(), packets[0].payload.end()), "00000048");
  const char* names[3] = {"YPLANE", "MPLANE", "CPLANE"};
  for (int p = 0; p < 3; ++p) {
    const DecodedPacket& plane = packets[1 + p];
    EXPECT_EQ(plane.command, "IMAGE");
    EXPECT_EQ(plane.subcommand, names[p]);
    ASSERT_EQ(plane.payload.size(), 2586176u);  // whole packet 2586208 bytes
    const uint8_t* bmp = plane.payload.data();
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(LE4(bmp + 2), 2586176u);
    EXPECT_EQ(LE4(bmp + 10), 1088u);
    EXPECT_EQ(LE4(bmp + 14), 40u);
    EXPECT_EQ(LE4(bmp + 18), 1408u);
    EXPECT_EQ(LE4(bmp + 22), 1836u);
    EXPECT_EQ(bmp[26] | bmp[27] << 8, 1);
    EXPECT_EQ(bmp[28] | bmp[29] << 8, 8);
    EXPECT_EQ(LE4(bmp + 34), 1408u * 1836u);
    EXPECT_EQ(LE4(bmp + 38), 11811u);
    EXPECT_EQ(LE4(bmp + 42), 11811u);
    EXPECT_EQ(LE4(bmp + 46), 256u);
    EXPECT_EQ(LE4(bmp + 54 + 4 * 200), 200u | 200u << 8 | 200u << 16);
    // An empty buffer prints white.
    for (size_t i = 1088; i < plane.payload.size(); i += 4099) ASSERT_EQ(plane.payload[i], 255) << i;
  }
  EXPECT_EQ(packets[4].subcommand, "START");
  EXPECT_FALSE(packets[4].hasPayload);
}

TEST(PlanePackets, SixHundredDpiLength)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=102x153mm Resolution=300x600dpi");
  const std::string out = Capture(e, [&] { e.SendImageData(1); });
  ASSERT_GT(out.size(), 72u + 32u);
  EXPECT_EQ(out.substr(40 + 24, 8), "05171264");
  EXPECT_EQ(LE4(reinterpret_cast<const uint8_t*>(out.data()) + 40 + 32 + 42), 23622u);
}

TEST(PlanePackets, BytesGoToTheirPlanesAndNarrowBitmapsAreCentred)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=102x153mm");
  _tagBITMAPHANDLE* bitmap = MakeBitmap(1405, 1835, 10, 20, 30);  // odd differences: 3 columns, 1 row
  const auto packets = Print(e, bitmap);
  FreeBitmap(bitmap);
  ASSERT_EQ(packets.size(), 5u);
  const uint8_t expected[3] = {30, 20, 10};  // yellow = byte 2, magenta = byte 1, cyan = byte 0
  for (int p = 0; p < 3; ++p) {
    const uint8_t* area = packets[1 + p].payload.data() + 1088;
    const auto at = [&](int x, int y) { return area[size_t(y) * 1408 + x]; };
    EXPECT_EQ(at(0, 0), 255);  // x0 = 1: one white column on the left ...
    EXPECT_EQ(at(1, 0), expected[p]);
    EXPECT_EQ(at(1405, 0), expected[p]);
    EXPECT_EQ(at(1406, 0), 255);  // ... two on the right
    EXPECT_EQ(at(1407, 0), 255);
    EXPECT_EQ(at(700, 1834), expected[p]);
    EXPECT_EQ(at(700, 1835), 255);  // the extra line is at the top (last stored row)
  }
}

TEST(PlanePackets, OversizedBitmapsAreCutToTheLeftAndBottom)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=102x153mm");
  _tagBITMAPHANDLE* bitmap = MakeBitmap(1500, 2000, 0, 0, 0);
  // Mark stored row 1835 and column 1407; the row past them is cut.
  bitmap->bits[1835 * bitmap->bytesPerLine + 3 * 5] = 77;
  bitmap->bits[10 * bitmap->bytesPerLine + 3 * 1407] = 88;
  const auto packets = Print(e, bitmap);
  FreeBitmap(bitmap);
  const uint8_t* cyan = packets[3].payload.data() + 1088;
  EXPECT_EQ(cyan[size_t(1835) * 1408 + 5], 77);
  EXPECT_EQ(cyan[size_t(10) * 1408 + 1407], 88);
  EXPECT_EQ(cyan[0], 0);
}

TEST(PlanePackets, NoMediaSendsNothing)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=A4");
  bool sent = true;
  EXPECT_EQ(Capture(e, [&] { sent = e.SendImageData(1); }), "");
  EXPECT_FALSE(sent);
}

TEST(PlanePackets, SlotsEmptyAfterASendAndRefilledSlotsDoNotLeak)
{
  DeviceEntry_TQ58 e;
  Select(e, "PageSize=102x102mm");
  _tagBITMAPHANDLE* a = MakeBitmap(100, 100, 1, 2, 3);
  e.SetImageData(0, a);
  e.SetImageData(0, a);  // replaces (and releases) the first planes
  EXPECT_EQ(e.imageBuffer.planes[0][2].width, 100);
  e.SetImageData(7, a);  // outside the slots: ignored
  const auto packets = Print(e, nullptr);
  EXPECT_EQ(packets[3].payload[1088 + 1236 / 2 * 1408 + 704], 1);
  for (const auto& plane : e.imageBuffer.planes[0]) {
    EXPECT_EQ(plane.bits, nullptr);
    EXPECT_EQ(plane.height, 0);
  }
  FreeBitmap(a);
}

}  // namespace
