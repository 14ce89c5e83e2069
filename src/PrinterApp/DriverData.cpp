#include "DriverData.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The six sizes: PWG name, PPD PageSize, width and length in hundredths of
// millimetres. The names are those CUPS gives the PPD's sizes, except that
// the 4.5-inch ones spell the width "4-5" in the name part: IPP Everywhere's
// media name grammar has no dot there (the dimensions part keeps it). A job
// naming the size as CUPS does is taken too.
struct MediaRow {
  const char* pwg;
  const char* pageSize;
  int width, length;
  const char* cupsName;  // the name CUPS gives the PPD's size, when it differs
};

constexpr MediaRow kMedia[] = {
    {"custom_4x4in_4x4in", "102x102mm", 10160, 10160, nullptr},
    {"na_index-4x6_4x6in", "102x153mm", 10160, 15240, nullptr},
    {"custom_4x8in_4x8in", "102x204mm", 10160, 20320, nullptr},
    {"custom_4-5x4-5in_4.5x4.5in", "115x115mm", 11430, 11430, "custom_4.5x4.5in_4.5x4.5in"},
    {"custom_4-5x6in_4.5x6in", "115x153mm", 11430, 15240, "custom_4.5x6in_4.5x6in"},
    {"custom_4-5x8in_4.5x8in", "115x204mm", 11430, 20320, "custom_4.5x8in_4.5x8in"},
};
constexpr int kDefaultMedia = 1;

// The white border of a bordered print: 66 x 54 dots at 300 dpi.
constexpr int kBorderLeftRight = 66 * 2540 / 300;
constexpr int kBorderBottomTop = 54 * 2540 / 300;

// A vendor attribute: an IPP keyword list mapped onto the PPD's choices, or
// an integer range passed on as its number.
struct Choice {
  const char* ipp;
  const char* ppd;
};

struct VendorOption {
  const char* name;    // IPP attribute name
  const char* ppdKey;  // the print path's option
  const Choice* choices;
  int numChoices;  // 0: an integer range
  int low, high, defaultValue;
};

constexpr Choice kFinishes[] = {
    {"glossy", "Glossy"}, {"matte", "Matte"}, {"fine-matte", "FineMatte"}, {"luster", "Luster"}};
constexpr Choice kOnOff[] = {{"off", "Disable"}, {"on", "Enable"}};

constexpr VendorOption kVendor[] = {
    {"overcoat-finish", "FyxOvercoatFinish", kFinishes, 4, 0, 0, 0},
    {"two-inch-cut", "Fyx2InchCut", kOnOff, 2, 0, 0, 0},
    {"sharpness", "FyxSharpness", nullptr, 0, 0, 8, 0},
    {"color-adjustment", "FyxColorAdjustment", kOnOff, 2, 0, 0, 0},
    {"gamma-red", "FyxGammaR", nullptr, 0, 0, 100, 0},
    {"gamma-green", "FyxGammaG", nullptr, 0, 0, 100, 0},
    {"gamma-blue", "FyxGammaB", nullptr, 0, 0, 100, 0},
    {"brightness-red", "FyxBrightnessR", nullptr, 0, -50, 50, 0},
    {"brightness-green", "FyxBrightnessG", nullptr, 0, -50, 50, 0},
    {"brightness-blue", "FyxBrightnessB", nullptr, 0, -50, 50, 0},
    {"contrast-red", "FyxContrastR", nullptr, 0, -50, 50, 0},
    {"contrast-green", "FyxContrastG", nullptr, 0, -50, 50, 0},
    {"contrast-blue", "FyxContrastB", nullptr, 0, -50, 50, 0},
    {"saturation", "FyxChroma", nullptr, 0, -50, 50, 0},
};

void SetMediaCol(pappl_media_col_t* col, const MediaRow& row)
{
  *col = pappl_media_col_t{};
  std::snprintf(col->size_name, sizeof col->size_name, "%s", row.pwg);
  std::snprintf(col->source, sizeof col->source, "main-roll");
  std::snprintf(col->type, sizeof col->type, "photographic-glossy");
  col->size_width = row.width;
  col->size_length = row.length;
}

void AddVendorAttributes(pappl_pr_driver_data_t* data, ipp_t* attrs)
{
  for (const VendorOption& v : kVendor) {
    data->vendor[data->num_vendor++] = v.name;
    const std::string supported = std::string(v.name) + "-supported";
    const std::string defaults = std::string(v.name) + "-default";
    if (v.numChoices > 0) {
      const char* values[4];
      for (int i = 0; i < v.numChoices; ++i) values[i] = v.choices[i].ipp;
      ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(), v.numChoices, nullptr, values);
      ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, defaults.c_str(), nullptr, v.choices[0].ipp);
    } else {
      ippAddRange(attrs, IPP_TAG_PRINTER, supported.c_str(), v.low, v.high);
      ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, defaults.c_str(), v.defaultValue);
    }
  }
}

// What IPP Everywhere asks of every printer and PAPPL does not add itself:
// the colour path picks its rendering intent ("auto"); overrides are
// accepted as PAPPL takes them (whole-job options: each page prints alike).
void AddEverywhereAttributes(ipp_t* attrs)
{
  static const char* const kOverrides[] = {"document-number", "pages"};
  ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, kOverrides);
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
}

void SetMediaData(pappl_pr_driver_data_t* data)
{
  data->num_media = 0;
  for (const MediaRow& row : kMedia) data->media[data->num_media++] = row.pwg;
  data->borderless = true;
  data->left_right = kBorderLeftRight;
  data->bottom_top = kBorderBottomTop;
  data->num_source = 1;
  data->source[0] = "main-roll";
  data->num_type = 1;
  data->type[0] = "photographic-glossy";
  SetMediaCol(&data->media_default, kMedia[kDefaultMedia]);
  SetMediaCol(&data->media_ready[0], kMedia[kDefaultMedia]);
}

// The PPD choice a vendor attribute's value stands for; null: leave the PPD default.
std::string GetVendorValue(const VendorOption& v, const char* value)
{
  if (value == nullptr) return "";
  if (v.numChoices == 0) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (end == value || *end != '\0' || n < v.low || n > v.high) return "";
    return std::to_string(n);
  }
  for (int i = 0; i < v.numChoices; ++i) {
    if (std::strcmp(v.choices[i].ipp, value) == 0) return v.choices[i].ppd;
  }
  return "";
}

}  // namespace

const char* GetPageSizeForMedia(const char* pwgName)
{
  if (pwgName == nullptr) return nullptr;
  for (const MediaRow& row : kMedia) {
    if (std::strcmp(row.pwg, pwgName) == 0) return row.pageSize;
    if (row.cupsName != nullptr && std::strcmp(row.cupsName, pwgName) == 0) return row.pageSize;
  }
  return nullptr;
}

const char* GetMediaForLoadedSize(int sizeCode)
{
  if (sizeCode == 150) return kMedia[1].pwg;
  if (sizeCode == 161) return kMedia[4].pwg;
  return nullptr;
}

void SetDriverData(pappl_pr_driver_data_t* data, ipp_t** attrs)
{
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", kTQ58DriverDescription);
  data->format = "application/vnd.tq58-packets";
  data->ppm = 1;
  data->ppm_color = 1;
  data->kind = PAPPL_KIND_PHOTO;
  data->has_supplies = true;
  data->color_supported = PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_AUTO;
  data->color_default = PAPPL_COLOR_MODE_COLOR;
  data->content_default = PAPPL_CONTENT_PHOTO;
  data->quality_default = IPP_QUALITY_HIGH;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_SRGB_8;
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  // The printer has no panel: "display" shows the message on the printer's
  // web page and in the log (IdentifyPrinter).
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  const int resolutions[3][2] = {{300, 300}, {300, 600}, {600, 600}};
  data->num_resolution = 3;
  for (int i = 0; i < 3; ++i) {
    data->x_resolution[i] = resolutions[i][0];
    data->y_resolution[i] = resolutions[i][1];
  }
  data->x_default = data->y_default = 300;
  SetMediaData(data);
  if (*attrs == nullptr) *attrs = ippNew();
  AddVendorAttributes(data, *attrs);
  AddEverywhereAttributes(*attrs);
}

int GetJobOptions(const pappl_pr_options_t* options, cups_option_t** out)
{
  int n = 0;
  const char* pageSize = GetPageSizeForMedia(options->media.size_name);
  n = cupsAddOption("PageSize", pageSize != nullptr ? pageSize : kMedia[kDefaultMedia].pageSize, n, out);
  char resolution[32];
  std::snprintf(resolution, sizeof resolution, "%dx%ddpi", options->printer_resolution[0],
                options->printer_resolution[1]);
  n = cupsAddOption("Resolution", resolution, n, out);
  const bool bordered = options->media.left_margin > 0 || options->media.top_margin > 0;
  n = cupsAddOption("FyxBorder", bordered ? "Enable" : "Disable", n, out);
  for (const VendorOption& v : kVendor) {
    const std::string value = GetVendorValue(v, cupsGetOption(v.name, options->num_vendor, options->vendor));
    if (!value.empty()) n = cupsAddOption(v.ppdKey, value.c_str(), n, out);
  }
  return n;
}
