#include "PhotoPrinterDeviceTQ58.h"

#include <cstring>
#include <iterator>

#include "FixedPath.h"
#include "ProfileTQ58.h"

namespace {

constexpr DeviceMediaBufferInfo MediaRow(int32_t code, int32_t multiCut, double w, double l, int32_t pw, int32_t ph,
                                         uint8_t cut)
{
  DeviceMediaBufferInfo row;
  row.mediaCode = code;
  row.multiCutCode = multiCut;
  row.widthInch = w;
  row.lengthInch = l;
  row.baseDpi = 300;
  row.printWidth = pw;
  row.printHeight = ph;
  row.borderX = 66;
  row.borderY = 54;
  row.imageGap = 30;
  row.imageWidth = pw;
  row.imageHeight = ph;
  row.imagesPerSheet = 1;
  row.cutAllowed = cut;
  row.minFirmware = 1.0;
  return row;
}

struct PageSizeCode {
  const char* pageSize;
  int code;
};

constexpr PageSizeCode kPageSizes[] = {
    {"102x102mm", 91}, {"102x153mm", 92}, {"102x204mm", 93}, {"115x115mm", 94}, {"115x153mm", 95}, {"115x204mm", 96},
};

constexpr int kUnknownMediaCode = 33;

}  // namespace

const DeviceMediaBufferInfo gMediaInfo_TQ58[7] = {
    MediaRow(91, 47, 4.0, 4.0, 1266, 1236, 1),
    MediaRow(92, 48, 4.0, 6.0, 1266, 1836, 1),
    MediaRow(93, 49, 4.0, 8.0, 1266, 2436, 1),
    MediaRow(94, 50, 4.5, 4.5, 1408, 1386, 0),
    MediaRow(95, 51, 4.5, 6.0, 1408, 1836, 1),
    MediaRow(96, 52, 4.5, 8.0, 1408, 2436, 1),
    DeviceMediaBufferInfo{},
};

const OverCoatInfo gOverCoatInfo_TQ58[10] = {
    {0, 0, 0, 1.0},   {1, 1, 0, 1.0},     {2, 2, 0, 1.0},     {3, 3, 0, 1.0},      {21, 21, 0, 1.0},
    {22, 22, 0, 1.0}, {101, 101, 1, 1.0}, {121, 121, 1, 1.0}, {122, 122, 1, 0.61}, {-1, 0, 0, 0.0},
};

int TQ58_MediaCodeForPageSize(const char* pageSize)
{
  if (pageSize == nullptr) return kUnknownMediaCode;
  for (const PageSizeCode& row : kPageSizes) {
    if (std::strcmp(row.pageSize, pageSize) == 0) return row.code;
  }
  return kUnknownMediaCode;
}

int DeviceEntry_TQ58::GetHeadWidth()
{
  return 1408;
}

int DeviceEntry_TQ58::SetMediaSize(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  double version = 0;
  if (_GetFirmwVersion(0, &version) != 0) return 0;
  const int code = TQ58_MediaCodeForPageSize(_GetCupsValue("PageSize", num_options, options, ppd));
  return SetMediaInfo(mediaInfo, code, version) == 0 ? 1 : 0;
}

int DeviceEntry_TQ58::SetMediaInfo(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion)
{
  if (mediaCode < 91 || mediaCode > 96) return 3;
  return SetMediaInfoFromTable(info, mediaCode, firmwareVersion, gMediaInfo_TQ58, std::size(gMediaInfo_TQ58));
}

DeviceMediaBufferInfo DeviceEntry_TQ58::GetMultiMediaInfo(DeviceMediaBufferInfo* info, int /*count*/)
{
  DeviceMediaBufferInfo result;
  double version = 0;
  _GetFirmwVersion(0, &version);
  if (info != nullptr) SetMediaInfo(result, info->mediaCode, version);
  return result;
}

int DeviceEntry_TQ58::GetMultiLayoutNum(const char*)
{
  return 1;
}

int DeviceEntry_TQ58::SetOvercoatFinish(int finishCode, double firmwareVersion)
{
  overcoatCode = -1;
  for (const OverCoatInfo& row : gOverCoatInfo_TQ58) {
    if (row.finishCode == -1) break;
    if (row.finishCode != finishCode || row.minFirmware > firmwareVersion) continue;
    overcoatCode = row.finishCode;
    overcoatParam = row.parameter;
    overcoatFlag = row.flag;
    overcoatMinFirmware = row.minFirmware;
    return 0;
  }
  return 3;
}

void DeviceEntry_TQ58::SetPaperRotate(int, cups_option_t*, ppdfile_s*)
{
  paperRotate = 0;
}

std::string DeviceEntry_TQ58::GetPrinterICCProfile(const char* jobId)
{
  char fileClass[128] = {0};
  if (mediaClass.empty()) _GetValuePrInfoFile("MEDIA_CLASS=", jobId, fileClass, sizeof fileClass);
  const std::string media = mediaClass.empty() ? fileClass : mediaClass;
  return TQ58_FixedPath(media == "0001" ? kProfileSD : kProfilePD);
}

int DeviceEntry_TQ58::GetRemainHalf(const char*)
{
  return 0;
}

bool DeviceEntry_TQ58::isSupportDecurl()
{
  return true;
}

bool DeviceEntry_TQ58::isSupportSysTime()
{
  return true;
}

DeviceEntry* NewDeviceEntry_TQ58()
{
  return new DeviceEntry_TQ58;
}

const ModelProfile& GetFilterProfileTQ58()
{
  static const ModelProfile profile = [] {
    ModelProfile p = GetProfileTQ58();
    p.mediaTable = gMediaInfo_TQ58;
    p.mediaCount = std::size(gMediaInfo_TQ58) - 1;  // without the end row
    p.overcoatTable = gOverCoatInfo_TQ58;
    p.overcoatCount = std::size(gOverCoatInfo_TQ58) - 1;
    p.createDeviceEntry = NewDeviceEntry_TQ58;
    return p;
  }();
  return profile;
}
