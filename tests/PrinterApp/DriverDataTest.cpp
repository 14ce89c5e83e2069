// The driver's translations: PWG media names to the PPD's sizes, IPP job
// options to the print path's options, printer status to PAPPL's reasons.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "DriverData.h"
#include "PrinterStatus.h"

namespace {

// The print path's options for an IPP job with these values.
struct JobOptions {
  explicit JobOptions(const char* media, int leftMargin,
                      std::initializer_list<std::pair<const char*, const char*>> vendor)
  {
    std::snprintf(options.media.size_name, sizeof options.media.size_name, "%s", media);
    options.media.left_margin = leftMargin;
    options.printer_resolution[0] = 300;
    options.printer_resolution[1] = 600;
    for (const auto& [name, value] : vendor)
      options.num_vendor = cupsAddOption(name, value, options.num_vendor, &options.vendor);
    n = GetJobOptions(&options, &out);
  }
  ~JobOptions()
  {
    cupsFreeOptions(options.num_vendor, options.vendor);
    cupsFreeOptions(n, out);
  }
  std::string Get(const char* name) const
  {
    const char* value = cupsGetOption(name, n, out);
    return value != nullptr ? value : "(none)";
  }
  pappl_pr_options_t options{};
  cups_option_t* out = nullptr;
  int n = 0;
};

TEST(DriverData, EverySizeHasItsPpdPageSize)
{
  EXPECT_STREQ(GetPageSizeForMedia("custom_4x4in_4x4in"), "102x102mm");
  EXPECT_STREQ(GetPageSizeForMedia("na_index-4x6_4x6in"), "102x153mm");
  EXPECT_STREQ(GetPageSizeForMedia("custom_4x8in_4x8in"), "102x204mm");
  EXPECT_STREQ(GetPageSizeForMedia("custom_4-5x4-5in_4.5x4.5in"), "115x115mm");
  EXPECT_STREQ(GetPageSizeForMedia("custom_4-5x6in_4.5x6in"), "115x153mm");
  EXPECT_STREQ(GetPageSizeForMedia("custom_4-5x8in_4.5x8in"), "115x204mm");
  EXPECT_STREQ(GetPageSizeForMedia("custom_4.5x6in_4.5x6in"), "115x153mm");  // as CUPS names the PPD's size
  EXPECT_EQ(GetPageSizeForMedia("iso_a4_210x297mm"), nullptr);
  EXPECT_EQ(GetPageSizeForMedia(nullptr), nullptr);
  EXPECT_STREQ(GetMediaForLoadedSize(150), "na_index-4x6_4x6in");
  EXPECT_STREQ(GetMediaForLoadedSize(161), "custom_4-5x6in_4.5x6in");
  EXPECT_EQ(GetMediaForLoadedSize(-1), nullptr);
}

TEST(DriverData, DescribesTheTq58)
{
  pappl_pr_driver_data_t data{};
  ipp_t* attrs = nullptr;
  SetDriverData(&data, &attrs);
  EXPECT_STREQ(data.make_and_model, "PELLORI SYSTEMS TQ-58");
  EXPECT_EQ(data.num_media, 6);
  EXPECT_EQ(data.num_resolution, 3);
  EXPECT_TRUE(data.borderless);
  EXPECT_GT(data.left_right, 0);
  EXPECT_EQ(data.raster_types, PAPPL_PWG_RASTER_TYPE_SRGB_8);
  EXPECT_STREQ(data.media_default.size_name, "na_index-4x6_4x6in");
  ASSERT_LE(data.num_vendor, PAPPL_MAX_VENDOR);
  for (int i = 0; i < data.num_vendor; ++i) {
    const std::string name = data.vendor[i];
    EXPECT_NE(ippFindAttribute(attrs, (name + "-supported").c_str(), IPP_TAG_ZERO), nullptr) << name;
    EXPECT_NE(ippFindAttribute(attrs, (name + "-default").c_str(), IPP_TAG_ZERO), nullptr) << name;
  }
  ippDelete(attrs);
}

TEST(DriverData, JobOptionsUseThePpdNames)
{
  const JobOptions borderless("custom_4-5x6in_4.5x6in", 0, {{"overcoat-finish", "fine-matte"}, {"sharpness", "8"}});
  EXPECT_EQ(borderless.Get("PageSize"), "115x153mm");
  EXPECT_EQ(borderless.Get("Resolution"), "300x600dpi");
  EXPECT_EQ(borderless.Get("FyxBorder"), "Disable");
  EXPECT_EQ(borderless.Get("FyxOvercoatFinish"), "FineMatte");
  EXPECT_EQ(borderless.Get("FyxSharpness"), "8");
  const JobOptions bordered("na_index-4x6_4x6in", 559, {{"two-inch-cut", "on"}, {"contrast-red", "-50"}});
  EXPECT_EQ(bordered.Get("FyxBorder"), "Enable");
  EXPECT_EQ(bordered.Get("Fyx2InchCut"), "Enable");
  EXPECT_EQ(bordered.Get("FyxContrastR"), "-50");
}

TEST(DriverData, ValuesOutsideTheRangesAreLeftToTheDefaults)
{
  const JobOptions odd("iso_a4_210x297mm", 0,
                       {{"sharpness", "9"}, {"gamma-red", "-1"}, {"saturation", "5x"}, {"overcoat-finish", "silk"}});
  EXPECT_EQ(odd.Get("PageSize"), "102x153mm");  // an unknown size prints on the default
  EXPECT_EQ(odd.Get("FyxSharpness"), "(none)");
  EXPECT_EQ(odd.Get("FyxGammaR"), "(none)");
  EXPECT_EQ(odd.Get("FyxChroma"), "(none)");
  EXPECT_EQ(odd.Get("FyxOvercoatFinish"), "(none)");
}

TEST(PrinterStatus, EveryStatusRowHasItsNearestReason)
{
  const std::pair<int, pappl_preason_t> rows[] = {
      {0, PAPPL_PREASON_NONE},
      {1, PAPPL_PREASON_NONE},
      {500, PAPPL_PREASON_NONE},
      {510, PAPPL_PREASON_NONE},
      {900, PAPPL_PREASON_NONE},
      {1000, PAPPL_PREASON_COVER_OPEN},
      {1010, PAPPL_PREASON_OTHER},
      {1100, PAPPL_PREASON_MEDIA_EMPTY},
      {1200, PAPPL_PREASON_MARKER_SUPPLY_EMPTY},
      {1300, PAPPL_PREASON_MEDIA_JAM},
      {1400, PAPPL_PREASON_MARKER_SUPPLY_EMPTY},
      {1500, PAPPL_PREASON_MEDIA_NEEDED},
      {1600, PAPPL_PREASON_OTHER},
      {2500, PAPPL_PREASON_OTHER},
      {99999, PAPPL_PREASON_OFFLINE},
      {INT_MIN, PAPPL_PREASON_OFFLINE},
  };
  for (const auto& [status, reason] : rows) {
    PrinterState state;
    state.status = status;
    EXPECT_EQ(GetStateReasons(state), reason) << status;
  }
}

TEST(PrinterStatus, FewPrintsLeftIsMediaLow)
{
  PrinterState state;
  state.initial = 50;
  state.remain = 5;
  EXPECT_EQ(GetStateReasons(state), PAPPL_PREASON_MEDIA_LOW);
  state.remain = 6;
  EXPECT_EQ(GetStateReasons(state), PAPPL_PREASON_NONE);
  state.remain = 0;
  state.status = 1100;  // an error stands alone
  EXPECT_EQ(GetStateReasons(state), PAPPL_PREASON_MEDIA_EMPTY);
}

}  // namespace
