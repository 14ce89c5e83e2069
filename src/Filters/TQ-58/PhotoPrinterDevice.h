// The filter's model of the printer for one job: every job setting read from
// the CUPS options and the PPD, the media geometry, and the settings packets it
// writes to its packet sink (standard output unless another is set). Model
// behaviour lives in the virtual operations that a model class
// (DeviceEntry_TQ58) implements.
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
#include "ImageSettings.h"
#include "PhotoImageBuffer.h"

// Sharpening strength for "FyxSharpness" values -2 .. 8 (index = value + 2).
inline constexpr int kSharpnessTable[11] = {-1000, -500, 0, 650, 700, 750, 800, 850, 900, 950, 1000};

// Where a job's packets go: takes length bytes of data and returns how many it
// took. Called with null data and length 0 once a print is complete, so that a
// sink that buffers hands the print on. May block.
using PacketSink = size_t (*)(void* context, const void* data, size_t length);

// The stream sink: context is a FILE* (null: standard output); a complete
// print is flushed. Returns the bytes written. Blocks on the stream.
size_t WritePacketsToFile(void* file, const void* data, size_t length);

// The image settings (ImageSettings) are read from the job options by the
// Set operations below and handed to the image buffer for every page.
class DeviceEntry : public ImageSettings {
public:
  using Clock = std::function<std::time_t()>;

  PhotoImageBuffer imageBuffer;
  DeviceMediaBufferInfo mediaInfo;
  // The overcoat row SetOvercoatFinish chose; overcoatCode -1: none.
  int32_t overcoatCode = -1;
  int32_t overcoatParam = 0;
  int64_t overcoatFlag = 0;
  double overcoatMinFirmware = 0;

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
  // The loaded media's class ("0001") when the front end read it from the
  // printer; empty: the job information file's MEDIA_CLASS.
  std::string mediaClass;
  virtual int GetRemainHalf(const char* jobId);
  virtual bool isSupportDecurl() = 0;
  virtual bool isSupportSysTime() = 0;

  // Output: every packet goes to one sink, standard output unless another is set.
  // Hands length bytes to the sink at once; 1 when handed on, 0 for null data or length 0. Blocks on the sink.
  int SetCommand(const void* data, size_t length);
  // Writes a built packet; 0. Blocks on the sink.
  int DeviceIO(DeviceCmd* cmd);
  // The packets go to out (null: standard output).
  void SetOutput(FILE* out) { SetSink(WritePacketsToFile, out); }
  void SetSink(PacketSink sink, void* context);
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
  // Takes the image settings whole, as a front end without job options has
  // them, and recomputes the media geometry for their resolution.
  void SetImageSettings(const ImageSettings& settings);
  // "FyxICCProfile", else the model's profile for the job's media class.
  std::string GetICCProfile(int num_options, cups_option_t* options, ppdfile_s* ppd, const char* jobId);

  // Computes the dot fields of info for the entry's resolution; 0, or 3 for a resolution other than 300/600.
  int UpdateMediaInfo(DeviceMediaBufferInfo& info);
  // Takes the row of mediaCode from a model's media table (count rows) into
  // info with its dot fields (UpdateMediaInfo). 3 when the table has no such
  // row or the firmware is older than the row asks; info's mediaCode is then -1.
  int SetMediaInfoFromTable(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion,
                            const DeviceMediaBufferInfo* table, size_t count);

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

  PacketSink sink_ = WritePacketsToFile;
  void* sinkContext_ = nullptr;  // for the stream sink, null: standard output
  Clock clock_;
};

#endif
