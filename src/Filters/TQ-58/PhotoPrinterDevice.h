// The filter's model of the printer for one job: every job setting read from
// the CUPS options and the PPD, the media geometry, and the settings packets it
// writes to standard output. Model behaviour lives in the virtual operations
// that a model class (DeviceEntry_TQ58) implements.
#ifndef TQ58_PHOTOPRINTERDEVICE_H
#define TQ58_PHOTOPRINTERDEVICE_H

#include <cups/cups.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "Common.h"
#include "DeviceCmd.h"
#include "DeviceMediaBufferInfo.h"
#include "PhotoImageBuffer.h"


// Sharpening strength for "FyxSharpness" values -2 .. 8 (index = value + 2).
inline constexpr int kSharpnessTable[11] = {-1000, -500, 0, 650, 700, 750, 800, 850, 900, 950, 1000};

class DeviceEntry {
public:
  using Clock = std::function<std::time_t()>;

  PhotoImageBuffer imageBuffer;
  DeviceMediaBufferInfo mediaInfo;
  int32_t overcoatCode = -1;
  int32_t overcoatParam = 0;
  int64_t overcoatFlag = 0;
  double overcoatMinFirmware = 0;
  int64_t resolution = 300;
  int64_t resolutionMode = 0;
  uint8_t paperRotate = 0;
  uint8_t border = 0;
  uint8_t icm = 1;
  int32_t sharpness = 0;
  uint8_t colorAdjustment = 0;
  int32_t gamma[3] = {0, 0, 0};
  int32_t intensity[3] = {0, 0, 0};
  int32_t contrast[3] = {0, 0, 0};
  int32_t saturation = 0;
  std::string iccProfilePath;
  // The size in points of the page the image stage takes next (raster header
  // cupsPageSize); 0 when unknown.
  double pageSizePoints[2] = {0, 0};

  DeviceEntry() = default;
  DeviceEntry(const DeviceEntry&) = delete;
  DeviceEntry& operator=(const DeviceEntry&) = delete;
  virtual ~DeviceEntry();

  // Model operations.
  virtual int GetHeadWidth() = 0;
  virtual int SetMediaSize(int num_options, cups_option_t* options, ppdfile_s* ppd) = 0;
  virtual int SetMediaInfo(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion) = 0;
  virtual DeviceMediaBufferInfo GetMultiMediaInfo(DeviceMediaBufferInfo* info, int count) = 0;
  virtual int GetMultiLayoutNum(const char* jobId) = 0;
  virtual int SetOvercoatFinish(int finishCode, double firmwareVersion) = 0;
  virtual void SetPaperRotate(int num_options, cups_option_t* options, ppdfile_s* ppd);
  virtual std::string GetPrinterICCProfile(const char* jobId) = 0;
  virtual int GetRemainHalf(const char* jobId);
  virtual bool isSupportDecurl() = 0;
  virtual bool isSupportSysTime() = 0;

  // Output: every packet goes to one stream (standard output unless a test sets another).
  // Writes length bytes with one fwrite; 1 when written, 0 for null data or length 0. Blocks on the stream.
  int SetCommand(const void* data, size_t length);
  // Writes a built packet; 0. Blocks on the stream.
  int DeviceIO(DeviceCmd* cmd);
  void SetOutput(FILE* out) { output_ = out; }
  // The clock of the SET_SYS_TIME packet; the real time unless a test sets another.
  void SetClock(Clock clock) { clock_ = std::move(clock); }

  // Settings from the job options with PPD defaults; none writes a packet.
  int SetResolution(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetBorder(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetICM(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetSharpness(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetGamma(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetIntensity(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetContrast(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetSaturation(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetColorAdjustment(int num_options, cups_option_t* options, ppdfile_s* ppd);
  void SetICCProfile(const char* path);
  // "FyxICCProfile", else the model's profile for the job's media class.
  std::string GetICCProfile(int num_options, cups_option_t* options, ppdfile_s* ppd, const char* jobId);

  // Computes the dot fields of info for the entry's resolution; 0, or 3 for a resolution other than 300/600.
  int UpdateMediaInfo(DeviceMediaBufferInfo& info);

  // Settings packets; each returns 1 when a packet was written, 0 when none was.
  int SendSysTime();
  int SendCutterMode(int num_options, cups_option_t* options, ppdfile_s* ppd);
  int SendOvercoatFinish(int num_options, cups_option_t* options, ppdfile_s* ppd);
  int SendPrintRetry(int num_options, cups_option_t* options, ppdfile_s* ppd);
  int SendPrintSpeed(int num_options, cups_option_t* options, ppdfile_s* ppd);
  int SendDecurl(int num_options, cups_option_t* options, ppdfile_s* ppd);

  // Image stage. MakeImageData takes over page (24-bit RGB, bottom-up) and
  // returns the processed bitmap, owned by the caller (IL_FreeBitmap, then free).
  _tagBITMAPHANDLE* MakeImageData(char* page, long width, long height, int slot);
  void SetImageData(int slot, _tagBITMAPHANDLE* bitmap);
  // IMAGE MULTICUT with the media's multi-cut code; 1.
  int SendMediaSize(const DeviceMediaBufferInfo* media);
  // Sends the filled slots as one print (MULTICUT, Y/M/C planes, START) and
  // empties them; true on success. Blocks on the output stream.
  bool SendImageData(int count);
  bool PrintImageData(const DeviceMediaBufferInfo* media);
  void AllocMediaBuffer();
  void FreeMediaBuffer();
  int Send(const DeviceMediaBufferInfo* media);
  int Clear();

private:
  int SendControl(const char* subcommand, const char* payload, int n);

  FILE* output_ = nullptr;  // null: standard output
  Clock clock_;
};

#endif
