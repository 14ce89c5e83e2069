// Media rows, overcoat rows and the dot geometry for the job's resolution.
#include <cups/ppd.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "FilterTestUtil.h"
#include "PhotoImageBuffer.h"
#include "PhotoPrinterDeviceTQ58.h"

namespace {

DeviceEntry_TQ58* Entry(const char* options)
{
  auto* e = new DeviceEntry_TQ58;
  Options o(options);
  e->SetResolution(o.n, o.opts, nullptr);
  e->SetMediaSize(o.n, o.opts, nullptr);
  return e;
}

TEST(MediaModel, FourBySixAtThreeBySixHundred)
{
  std::unique_ptr<DeviceEntry_TQ58> e(Entry("PageSize=102x153mm Resolution=300x600dpi"));
  const DeviceMediaBufferInfo& m = e->mediaInfo;
  EXPECT_EQ(m.mediaCode, 92);
  EXPECT_EQ(m.multiCutCode, 48);
  EXPECT_EQ(m.printWidthDots, 1266);
  EXPECT_EQ(m.printHeightDots, 3672);
  EXPECT_EQ(m.imageWidthDots, 1266);
  EXPECT_EQ(m.imageHeightDots, 3672);
  EXPECT_EQ(m.imageGapDots, 60);
  EXPECT_EQ(m.headWidth, 1408);
  EXPECT_EQ(m.xDpi, 300);
  EXPECT_EQ(m.yDpi, 600);
  EXPECT_EQ(m.imageCount, 1);
  EXPECT_EQ(m.borderX, 66);
  EXPECT_EQ(m.borderY, 54);
}

TEST(MediaModel, EveryRowAtThreeHundred)
{
  const std::tuple<const char*, int, int, int, int, int> rows[] = {
      {"102x102mm", 91, 47, 1266, 1236, 1}, {"102x153mm", 92, 48, 1266, 1836, 1}, {"102x204mm", 93, 49, 1266, 2436, 1},
      {"115x115mm", 94, 50, 1408, 1386, 0}, {"115x153mm", 95, 51, 1408, 1836, 1}, {"115x204mm", 96, 52, 1408, 2436, 1}};
  for (const auto& [size, code, cut, w, h, cutAllowed] : rows) {
    std::unique_ptr<DeviceEntry_TQ58> e(Entry((std::string("PageSize=") + size).c_str()));
    EXPECT_EQ(e->mediaInfo.mediaCode, code) << size;
    EXPECT_EQ(e->mediaInfo.multiCutCode, cut) << size;
    EXPECT_EQ(e->mediaInfo.printWidthDots, w) << size;
    EXPECT_EQ(e->mediaInfo.printHeightDots, h) << size;
    EXPECT_EQ(e->mediaInfo.cutAllowed, cutAllowed) << size;
    EXPECT_EQ(e->mediaInfo.imageGapDots, 30) << size;
  }
}

// The PPD's sizes are the media's own (4 x 6 in and so on, no margins), so
// that the scheduler gives them their standard names; each one's print area
// reaches past it, where the filter's bleed cover fills it.
TEST(MediaModel, PpdSizesAreTheMediaSizesInsideTheirPrintAreas)
{
  const std::string path = std::string(TQ58_SOURCE_DIR) + "/packaging/ppd/TQ-58.ppd";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ppd_file_t* ppd = ppdOpenFile(path.c_str());
  ASSERT_NE(ppd, nullptr);
  std::set<int> codes;
  for (int i = 0; i < ppd->num_sizes; ++i) {
    const ppd_size_t& size = ppd->sizes[i];
    const int code = TQ58_MediaCodeForPageSize(size.name);
    codes.insert(code);
    std::unique_ptr<DeviceEntry_TQ58> e(Entry((std::string("PageSize=") + size.name).c_str()));
    const DeviceMediaBufferInfo& m = e->mediaInfo;
    ASSERT_EQ(m.mediaCode, code) << size.name;
    EXPECT_FLOAT_EQ(size.width, static_cast<float>(m.widthInch * 72)) << size.name;
    EXPECT_FLOAT_EQ(size.length, static_cast<float>(m.lengthInch * 72)) << size.name;
    EXPECT_EQ(size.left, 0.0f);
    EXPECT_EQ(size.bottom, 0.0f);
    EXPECT_EQ(size.right, size.width);
    EXPECT_EQ(size.top, size.length);
    const double points[2] = {size.width, size.length};
    EXPECT_GT(GetBleedScale(m, points), 1.0) << size.name;
  }
  ppdClose(ppd);
#pragma GCC diagnostic pop
  EXPECT_EQ(codes, (std::set<int>{91, 92, 93, 94, 95, 96}));
}

TEST(MediaModel, MediaOptionStandsInForPageSize)
{
  std::unique_ptr<DeviceEntry_TQ58> e(Entry("media=102x204mm"));
  EXPECT_EQ(e->mediaInfo.mediaCode, 93);
}

TEST(MediaModel, UnknownSizeLeavesNoMedia)
{
  DeviceEntry_TQ58 e;
  Options o("PageSize=A4");
  EXPECT_EQ(e.SetMediaSize(o.n, o.opts, nullptr), 0);
  EXPECT_EQ(e.mediaInfo, DeviceMediaBufferInfo{});
  Options none("");
  EXPECT_EQ(e.SetMediaSize(none.n, none.opts, nullptr), 0);
  EXPECT_EQ(e.mediaInfo.mediaCode, -1);
  DeviceMediaBufferInfo record = gMediaInfo_TQ58[0];
  EXPECT_EQ(e.SetMediaInfo(record, 33, 1.53), 3);
  EXPECT_EQ(record.mediaCode, 91);                // untouched
  EXPECT_EQ(e.SetMediaInfo(record, 92, 0.5), 3);  // below the row's firmware
  EXPECT_EQ(record.mediaCode, -1);
}

TEST(MediaModel, UpdateMediaInfoRefusesOtherResolutions)
{
  DeviceEntry_TQ58 e;
  DeviceMediaBufferInfo record = gMediaInfo_TQ58[1];
  e.resolution = 450;
  EXPECT_EQ(e.UpdateMediaInfo(record), 3);
  EXPECT_EQ(record.printHeightDots, 0);
  e.resolution = 600;
  DeviceMediaBufferInfo none;
  EXPECT_EQ(e.UpdateMediaInfo(none), 0);
  EXPECT_EQ(none, DeviceMediaBufferInfo{});
  EXPECT_EQ(e.UpdateMediaInfo(record), 0);
  EXPECT_EQ(record.printHeightDots, 3672);
}

TEST(MediaModel, MultiMediaInfoIsAFreshRowForTheSameCode)
{
  std::unique_ptr<DeviceEntry_TQ58> e(Entry("PageSize=115x153mm Resolution=600x600dpi"));
  DeviceMediaBufferInfo copy = e->GetMultiMediaInfo(&e->mediaInfo, 5);
  EXPECT_EQ(copy, e->mediaInfo);
  EXPECT_EQ(e->GetMultiLayoutNum("1"), 1);
  EXPECT_EQ(e->GetRemainHalf("1"), 0);
  EXPECT_TRUE(e->isSupportDecurl());
  EXPECT_TRUE(e->isSupportSysTime());
}

TEST(OvercoatModel, FirmwareGateAndRowCopy)
{
  DeviceEntry_TQ58 e;
  EXPECT_EQ(e.SetOvercoatFinish(122, 0.5), 3);
  EXPECT_EQ(e.overcoatCode, -1);
  EXPECT_EQ(e.overcoatParam, 0);
  EXPECT_EQ(e.SetOvercoatFinish(122, 0.61), 0);
  EXPECT_EQ(e.overcoatParam, 122);
  EXPECT_EQ(e.overcoatFlag, 1);
  EXPECT_DOUBLE_EQ(e.overcoatMinFirmware, 0.61);
  EXPECT_EQ(e.SetOvercoatFinish(101, 0.9), 3);
  EXPECT_EQ(e.overcoatParam, 122);  // a failed selection keeps the parameter
  EXPECT_EQ(e.SetOvercoatFinish(4, 1.53), 3);
  EXPECT_EQ(e.SetOvercoatFinish(-1, 1.53), 3);  // the end row is never selected
  EXPECT_EQ(e.SetOvercoatFinish(21, 1.53), 0);
  EXPECT_EQ(e.overcoatCode, 21);
  EXPECT_EQ(e.overcoatFlag, 0);
}

TEST(OvercoatModel, NoRowMeansNoPacket)
{
  struct Gated : DeviceEntry_TQ58 {
    int SetOvercoatFinish(int, double) override { return 3; }
  } e;
  Options o("FyxOvercoatFinish=Luster");
  EXPECT_EQ(Capture(e, [&] { EXPECT_EQ(e.SendOvercoatFinish(o.n, o.opts, nullptr), 0); }), "");
}

}  // namespace
