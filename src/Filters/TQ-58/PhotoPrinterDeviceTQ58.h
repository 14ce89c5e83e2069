// The TQ-58 model: its media sizes, overcoat finishes, head width, default
// ICC profiles and capabilities.
#ifndef TQ58_PHOTOPRINTERDEVICETQ58_H
#define TQ58_PHOTOPRINTERDEVICETQ58_H

#include <cstdint>

#include "InstallLayout.h"
#include "ModelProfile.h"
#include "PhotoPrinterDevice.h"

struct OverCoatInfo {
  int32_t finishCode;
  int32_t parameter;
  int64_t flag;
  double minFirmware;
};

// Six media rows and an end row (mediaCode -1).
extern const DeviceMediaBufferInfo gMediaInfo_TQ58[7];
// Nine overcoat rows and an end row (finishCode -1).
extern const OverCoatInfo gOverCoatInfo_TQ58[10];

inline constexpr const char* kProfileSD = tq58_layout::kProfileSD;
inline constexpr const char* kProfilePD = tq58_layout::kProfilePD;

class DeviceEntry_TQ58 : public DeviceEntry {
public:
  int GetHeadWidth() override;
  int SetMediaSize(int num_options, cups_option_t* options, ppdfile_s* ppd) override;
  int SetMediaInfo(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion) override;
  DeviceMediaBufferInfo GetMultiMediaInfo(DeviceMediaBufferInfo* info, int count) override;
  int GetMultiLayoutNum(const char* jobId) override;
  int SetOvercoatFinish(int finishCode, double firmwareVersion) override;
  void SetPaperRotate(int num_options, cups_option_t* options, ppdfile_s* ppd) override;
  // SD profile for media class "0001", PD profile for anything else (TQ58_ROOT applied).
  std::string GetPrinterICCProfile(const char* jobId) override;
  int GetRemainHalf(const char* jobId) override;
  bool isSupportDecurl() override;
  bool isSupportSysTime() override;
};

// A new DeviceEntry_TQ58, owned by the caller: the TQ-58 profile's factory.
DeviceEntry* NewDeviceEntry_TQ58();

// The TQ-58's profile (ProfileTQ58.h) with the filter's parts: the media and
// overcoat tables (without their end rows) and the device-entry factory.
const ModelProfile& GetFilterProfileTQ58();

// Media code for a "PageSize" choice; 33 for an absent or unknown one.
int TQ58_MediaCodeForPageSize(const char* pageSize);

#endif
