// Job settings from options and PPD defaults, and the CNTRL packets they produce.
#include <gtest/gtest.h>

#include <ctime>

#include "FilterTestUtil.h"
#include "PhotoPrinterDeviceTQ58.h"
#include "TempRoot.h"

namespace {

void ReadSettings(DeviceEntry& e, const Options& o, ppdfile_s* ppd = nullptr)
{
  e.SetResolution(o.n, o.opts, ppd);
  e.SetMediaSize(o.n, o.opts, ppd);
  e.SetBorder(o.n, o.opts, ppd);
  e.SetICM(o.n, o.opts, ppd);
  e.SetSharpness(o.n, o.opts, ppd);
  e.SetGamma(o.n, o.opts, ppd);
  e.SetIntensity(o.n, o.opts, ppd);
  e.SetContrast(o.n, o.opts, ppd);
  e.SetSaturation(o.n, o.opts, ppd);
  e.SetColorAdjustment(o.n, o.opts, ppd);
}

std::string Batch(DeviceEntry& e, const Options& o, ppdfile_s* ppd = nullptr)
{
  return Capture(e, [&] {
    e.SendCutterMode(o.n, o.opts, ppd);
    e.SendOvercoatFinish(o.n, o.opts, ppd);
    e.SendPrintRetry(o.n, o.opts, ppd);
    e.SendPrintSpeed(o.n, o.opts, ppd);
    e.SendDecurl(o.n, o.opts, ppd);
  });
}

TEST(DeviceEntrySettings, ConstructionDefaults)
{
  DeviceEntry_TQ58 e;
  EXPECT_EQ(e.mediaInfo, DeviceMediaBufferInfo{});
  EXPECT_EQ(e.mediaInfo.mediaCode, -1);
  EXPECT_EQ(e.overcoatCode, -1);
  EXPECT_EQ(e.resolution, 300);
  EXPECT_EQ(e.icm, 1);
  EXPECT_EQ(e.gamma[0], 0);
  EXPECT_TRUE(e.iccProfilePath.empty());
}

TEST(DeviceEntrySettings, GammaFromCommonOrChannelOptions)
{
  struct Case {
    const char* options;
    int r, g, b;
  };
  const Case cases[] = {
      {"FyxGamma=100", 200, 200, 200},
      {"FyxGamma=-100", 50, 50, 50},
      {"FyxGammaG=0", 100, 100, 100},
      {"FyxGamma=50", 141, 141, 141},
      {"FyxGammaR=100 FyxGammaB=-100", 200, 100, 50},
      {"FyxGamma=0 FyxGammaR=100", 100, 100, 100},
      {"FyxGamma=abc", 100, 100, 100},
      {"", 100, 100, 100},
  };
  for (const Case& c : cases) {
    DeviceEntry_TQ58 e;
    Options o(c.options);
    e.SetGamma(o.n, o.opts, nullptr);
    EXPECT_EQ(e.gamma[0], c.r) << c.options;
    EXPECT_EQ(e.gamma[1], c.g) << c.options;
    EXPECT_EQ(e.gamma[2], c.b) << c.options;
  }
}

TEST(DeviceEntrySettings, SharpnessTableAndItsEdges)
{
  const std::pair<const char*, int> cases[] = {{"-3", 0},  {"-2", -1000}, {"-1", -500}, {"0", 0}, {"1", 650},
                                               {"7", 950}, {"8", 1000},   {"9", 0},     {"x", 0}};
  for (const auto& [value, expected] : cases) {
    DeviceEntry_TQ58 e;
    Options o((std::string("FyxSharpness=") + value).c_str());
    e.SetSharpness(o.n, o.opts, nullptr);
    EXPECT_EQ(e.sharpness, expected) << value;
  }
}

TEST(DeviceEntrySettings, BrightnessContrastSaturationAndFlags)
{
  DeviceEntry_TQ58 e;
  Options o(
      "FyxBrightness=-5 FyxContrastG=3 FyxContrastB=-2 FyxChroma=-7 FyxBorder=Enable FyxICM=None "
      "FyxColorAdjustment=Enable");
  ReadSettings(e, o);
  EXPECT_EQ(e.intensity[0], -10);
  EXPECT_EQ(e.intensity[2], -10);
  EXPECT_EQ(e.contrast[0], 0);
  EXPECT_EQ(e.contrast[1], 30);
  EXPECT_EQ(e.contrast[2], -20);
  EXPECT_EQ(e.saturation, -70);
  EXPECT_EQ(e.border, 1);
  EXPECT_EQ(e.icm, 0);
  EXPECT_EQ(e.colorAdjustment, 1);
  DeviceEntry_TQ58 off;
  Options other("FyxBorder=enable FyxICM=none FyxColorAdjustment=1");
  ReadSettings(off, other);
  EXPECT_EQ(off.border, 0);
  EXPECT_EQ(off.icm, 1);
  EXPECT_EQ(off.colorAdjustment, 0);
}

TEST(DeviceEntrySettings, ResolutionModes)
{
  const std::tuple<const char*, int, int> cases[] = {{"Resolution=300x600dpi", 600, 1},
                                                     {"Resolution=600x600dpi", 600, 2},
                                                     {"Resolution=300x300dpi", 300, 0},
                                                     {"Resolution=1200dpi", 300, 0},
                                                     {"", 300, 0}};
  for (const auto& [text, dpi, mode] : cases) {
    DeviceEntry_TQ58 e;
    Options o(text);
    EXPECT_EQ(e.SetResolution(o.n, o.opts, nullptr), 1);
    EXPECT_EQ(e.resolution, dpi) << text;
    EXPECT_EQ(e.resolutionMode, mode) << text;
  }
}

TEST(DeviceEntryPackets, DefaultBatchIsFiveExactPackets)
{
  DeviceEntry_TQ58 e;
  Options o("PageSize=102x153mm");
  ReadSettings(e, o);
  EXPECT_EQ(Batch(e, o), Control("CUTTER", "00000000") + Control("OVERCOAT", "00000000") +
                             Control("BUFFCNTRL", "00000001") + Control("PRINTSPEED", "00000000") +
                             Control("DECURL", "020000000000"));
}

TEST(DeviceEntryPackets, OptionsChangeThePayloads)
{
  DeviceEntry_TQ58 e;
  Options o(
      "PageSize=102x153mm Fyx2InchCut=Enable FyxOvercoatFinish=Luster FyxPrintRetry=Disable "
      "FyxPrintSpeed=Enable FyxDecurl=Enable");
  ReadSettings(e, o);
  EXPECT_EQ(Batch(e, o), Control("CUTTER", "00000120") + Control("OVERCOAT", "00000022") +
                             Control("BUFFCNTRL", "00000000") + Control("PRINTSPEED", "00000020") +
                             Control("DECURL", "010000000000"));
}

TEST(DeviceEntryPackets, CutNeedsCutableMediaAndUnknownFinishIsGlossy)
{
  DeviceEntry_TQ58 e;
  Options o("PageSize=115x115mm Fyx2InchCut=Enable FyxOvercoatFinish=Satin FyxDecurl=Disable");
  ReadSettings(e, o);
  EXPECT_EQ(Batch(e, o), Control("CUTTER", "00000000") + Control("OVERCOAT", "00000000") +
                             Control("BUFFCNTRL", "00000001") + Control("PRINTSPEED", "00000000") +
                             Control("DECURL", "000000000000"));
  Options matte("FyxOvercoatFinish=Matte");
  EXPECT_EQ(Capture(e, [&] { e.SendOvercoatFinish(matte.n, matte.opts, nullptr); }), Control("OVERCOAT", "00000001"));
  Options fine("FyxOvercoatFinish=FineMatte");
  EXPECT_EQ(Capture(e, [&] { e.SendOvercoatFinish(fine.n, fine.opts, nullptr); }), Control("OVERCOAT", "00000021"));
}

TEST(DeviceEntryPackets, ClockPacketCarriesLocalTime)
{
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 2;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  t.tm_isdst = -1;
  const std::time_t when = std::mktime(&t);
  DeviceEntry_TQ58 e;
  e.SetClock([when] { return when; });
  const std::string packet = Capture(e, [&] { EXPECT_EQ(e.SendSysTime(), 1); });
  EXPECT_EQ(packet, Control("SET_SYS_TIME", std::string("20260302090507\r\0", 16)));
}

TEST(DeviceEntryPackets, SetCommandSkipsEmptyData)
{
  DeviceEntry_TQ58 e;
  std::string out = Capture(e, [&] {
    EXPECT_EQ(e.SetCommand(nullptr, 5), 0);
    EXPECT_EQ(e.SetCommand("abc", 0), 0);
    EXPECT_EQ(e.SetCommand("abc", 3), 1);
  });
  EXPECT_EQ(out, "abc");
}

TEST(DeviceEntryPpd, PackagedPpdDefaultsFillUnsetOptions)
{
  const std::string path = std::string(TQ58_SOURCE_DIR) + "/packaging/ppd/TQ-58.ppd";
  ppdfile_s* ppd = wrappedPpdOpenFile(path.c_str());
  ASSERT_NE(ppd->file, nullptr);
  DeviceEntry_TQ58 e;
  Options o("FyxDecurl=Enable");
  ReadSettings(e, o, ppd);
  EXPECT_EQ(e.mediaInfo.mediaCode, 92);
  EXPECT_EQ(e.resolution, 300);
  EXPECT_EQ(e.gamma[1], 100);
  EXPECT_EQ(Batch(e, o, ppd), Control("CUTTER", "00000000") + Control("OVERCOAT", "00000000") +
                                  Control("BUFFCNTRL", "00000001") + Control("PRINTSPEED", "00000000") +
                                  Control("DECURL", "010000000000"));
  wrappedPpdClose(ppd);
}

TEST(DeviceEntryProfile, MediaClassSelectsProfile)
{
  TempRoot root;
  root.CacheFolder();
  const std::pair<const char*, const char*> cases[] = {{"MEDIA_CLASS=\"0001\"\n", "SD_TQ58_0100.icc"},
                                                       {"MEDIA_CLASS=\"00010\"\n", "PD_TQ58_0100.icc"},
                                                       {"MEDIA_CLASS=\"1\"\n", "PD_TQ58_0100.icc"},
                                                       {"OTHER=\"0001\"\n", "PD_TQ58_0100.icc"}};
  int job = 100;
  for (const auto& [text, profile] : cases) {
    const std::string id = std::to_string(job++);
    root.WriteFile("var/cache/pellori/TQ-58/Print_" + id + ".log", text);
    DeviceEntry_TQ58 e;
    Options none("");
    EXPECT_EQ(e.GetICCProfile(none.n, none.opts, nullptr, id.c_str()),
              root.Path() + "/usr/share/color/icc/pellori/" + profile)
        << text;
  }
  DeviceEntry_TQ58 e;
  Options none("");
  EXPECT_EQ(e.GetICCProfile(none.n, none.opts, nullptr, "999"),
            root.Path() + "/usr/share/color/icc/pellori/PD_TQ58_0100.icc");
  Options own("FyxICCProfile=/tmp/own.icc");
  EXPECT_EQ(e.GetICCProfile(own.n, own.opts, nullptr, "100"), "/tmp/own.icc");
}

// A media class handed in by the front end (the printer application) wins
// over the job information file; empty leaves the file's.
TEST(DeviceEntryProfile, MediaClassHandedInWinsOverTheJobFile)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("var/cache/pellori/TQ-58/Print_7.log", "MEDIA_CLASS=\"0001\"\n");
  const std::string folder = root.Path() + "/usr/share/color/icc/pellori/";
  Options none("");
  DeviceEntry_TQ58 e;
  e.mediaClass = "0002";
  EXPECT_EQ(e.GetICCProfile(none.n, none.opts, nullptr, "7"), folder + "PD_TQ58_0100.icc");
  e.mediaClass = "0001";
  EXPECT_EQ(e.GetICCProfile(none.n, none.opts, nullptr, nullptr), folder + "SD_TQ58_0100.icc");
  e.mediaClass.clear();
  EXPECT_EQ(e.GetICCProfile(none.n, none.opts, nullptr, "7"), folder + "SD_TQ58_0100.icc");
}

}  // namespace
