#include "PhotoPrinterDevice.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The option's text or null; equal compares exactly.
bool OptionIs(const char* value, const char* text)
{
  return value != nullptr && std::strcmp(value, text) == 0;
}

// The option's number as atoi reads it, but held at the ends of the int
// range instead of wrapping when the text goes beyond them.
int64_t NumberFromOption(const char* value)
{
  const long long v = std::strtoll(value, nullptr, 10);
  return v < INT_MIN ? INT_MIN : (v > INT_MAX ? INT_MAX : v);
}

// factor x the option's number, computed wide and held within int32: a setting
// that large is refused by the image steps all the same, as its neighbours are.
int32_t ScaledOption(const char* value, int64_t factor)
{
  if (value == nullptr) return 0;
  const int64_t v = factor * NumberFromOption(value);
  return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}

// 2^(v/100) x 100, truncated: the gamma in hundredths for a slider value v,
// held at INT32_MAX where it goes beyond.
int32_t GammaFromOption(const char* value)
{
  if (value == nullptr) return 100;
  const double v = static_cast<double>(NumberFromOption(value));
  const double gamma = std::pow(2.0, v / 100.0) * 100.0;
  return gamma >= static_cast<double>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(gamma);
}

// Reads one option for all three channels, or the per-channel options when it is absent.
void ReadChannels(const char* key, int32_t out[3], int num_options, cups_option_t* options, ppdfile_s* ppd,
                  int32_t (*convert)(const char*))
{
  const char* all = _GetCupsValue(key, num_options, options, ppd);
  if (all != nullptr) {
    const int32_t v = convert(all);
    out[0] = out[1] = out[2] = v;
    return;
  }
  static const char* const kSuffix[3] = {"R", "G", "B"};
  for (int i = 0; i < 3; ++i) {
    const std::string channelKey = std::string(key) + kSuffix[i];
    out[i] = convert(_GetCupsValue(channelKey.c_str(), num_options, options, ppd));
  }
}

}  // namespace

void DeviceEntry::SetPaperRotate(int, cups_option_t*, ppdfile_s*)
{
  paperRotate = 0;
}

int DeviceEntry::GetRemainHalf(const char*)
{
  return 0;
}

size_t WritePacketsToFile(void* file, const void* data, size_t length)
{
  FILE* out = file != nullptr ? static_cast<FILE*>(file) : stdout;
  if (data == nullptr) {
    std::fflush(out);
    return 0;
  }
  return std::fwrite(data, 1, length, out);
}

void DeviceEntry::SetSink(PacketSink sink, void* context)
{
  sink_ = sink != nullptr ? sink : WritePacketsToFile;
  sinkContext_ = sink != nullptr ? context : nullptr;
}

// A short write is not reported: no caller could mend the stream, whose
// reader sees a cut packet either way.
int DeviceEntry::SetCommand(const void* data, size_t length)
{
  if (data == nullptr || length == 0) return 0;
  sink_(sinkContext_, data, length);
  return 1;
}

int DeviceEntry::DeviceIO(DeviceCmd* cmd)
{
  if (cmd != nullptr && cmd->data != nullptr) SetCommand(cmd->data, static_cast<size_t>(cmd->len));
  return 0;
}

int DeviceEntry::SetResolution(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const char* value = _GetCupsValue("Resolution", num_options, options, ppd);
  resolution = 300;
  resolutionMode = 0;
  if (OptionIs(value, "300x600dpi")) {
    resolution = 600;
    resolutionMode = 1;
  } else if (OptionIs(value, "600x600dpi")) {
    resolution = 600;
    resolutionMode = 2;
  }
  return UpdateMediaInfo(mediaInfo) == 0 ? 1 : 0;
}

void DeviceEntry::SetBorder(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  border = OptionIs(_GetCupsValue("FyxBorder", num_options, options, ppd), "Enable") ? 1 : 0;
}

void DeviceEntry::SetICM(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  icm = OptionIs(_GetCupsValue("FyxICM", num_options, options, ppd), "None") ? 0 : 1;
}

void DeviceEntry::SetSharpness(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const char* value = _GetCupsValue("FyxSharpness", num_options, options, ppd);
  sharpness = 0;
  if (value == nullptr) return;
  const int64_t v = NumberFromOption(value);
  if (v >= -2 && v <= 8) sharpness = kSharpnessTable[v + 2];
}

void DeviceEntry::SetGamma(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  ReadChannels("FyxGamma", gamma, num_options, options, ppd, GammaFromOption);
}

void DeviceEntry::SetIntensity(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  ReadChannels("FyxBrightness", intensity, num_options, options, ppd,
               [](const char* v) -> int32_t { return ScaledOption(v, 2); });
}

void DeviceEntry::SetContrast(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  ReadChannels("FyxContrast", contrast, num_options, options, ppd,
               [](const char* v) -> int32_t { return ScaledOption(v, 10); });
}

void DeviceEntry::SetSaturation(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const char* value = _GetCupsValue("FyxChroma", num_options, options, ppd);
  saturation = ScaledOption(value, 10);
}

void DeviceEntry::SetColorAdjustment(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  colorAdjustment = OptionIs(_GetCupsValue("FyxColorAdjustment", num_options, options, ppd), "Enable") ? 1 : 0;
}

void DeviceEntry::SetICCProfile(const char* path)
{
  if (path != nullptr) iccProfilePath = path;
}

void DeviceEntry::SetImageSettings(const ImageSettings& settings)
{
  static_cast<ImageSettings&>(*this) = settings;
  UpdateMediaInfo(mediaInfo);
}

std::string DeviceEntry::GetICCProfile(int num_options, cups_option_t* options, ppdfile_s* ppd, const char* jobId)
{
  const char* value = _GetCupsValue("FyxICCProfile", num_options, options, ppd);
  if (value != nullptr) return value;
  return GetPrinterICCProfile(jobId);
}

int DeviceEntry::SetMediaInfoFromTable(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion,
                                       const DeviceMediaBufferInfo* table, size_t count)
{
  info.mediaCode = -1;
  for (size_t i = 0; table != nullptr && i < count; ++i) {
    if (table[i].mediaCode != mediaCode) continue;
    if (firmwareVersion < table[i].minFirmware) return 3;
    info = table[i];
    return UpdateMediaInfo(info);
  }
  return 3;
}

int DeviceEntry::UpdateMediaInfo(DeviceMediaBufferInfo& info)
{
  if (resolution != 300 && resolution != 600) return 3;
  if (info.mediaCode == -1) return 0;
  if (info.baseDpi <= 0) return 3;  // a row without a base resolution cannot be scaled
  const int64_t yDpi = resolution;
  info.xDpi = 300;
  info.yDpi = yDpi;
  info.printWidthDots = static_cast<int32_t>(int64_t{info.printWidth} * 300 / info.baseDpi);
  info.printHeightDots = static_cast<int32_t>(yDpi * info.printHeight / info.baseDpi);
  info.headWidth = GetHeadWidth();
  info.imageWidthDots = static_cast<int32_t>(int64_t{info.imageWidth} * 300 / info.baseDpi);
  info.imageHeightDots = static_cast<int32_t>(yDpi * info.imageHeight / info.baseDpi);
  info.imageGapDots = static_cast<int32_t>(yDpi * info.imageGap / info.baseDpi);
  info.imageCount = info.imagesPerSheet;
  return 0;
}
