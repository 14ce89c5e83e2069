// The print path as a library call: job options (and, if the caller has one,
// an image-settings value) and pages, given whole or row by row, in; the
// packets of the job out, to any packet sink. rastertotq58 feeds it CUPS raster
// and writes to standard output; another front end hands in rows of 24-bit RGB
// and writes to its own device through a sink. The cancel flag belongs to the
// caller (a signal handler may set it); the job looks at it after every row,
// at the end of every page and before the last prints, and once it is set
// sends nothing more.
#ifndef TQ58_PRINTJOB_H
#define TQ58_PRINTJOB_H

#include <cups/cups.h>

#include <csignal>
#include <cstddef>
#include <memory>

#include "ModelProfile.h"
#include "PhotoPrinterDevice.h"

// Largest page buffer the job takes (bytes); bigger pages are refused.
constexpr size_t kMaxPageBytes = size_t{512} << 20;

struct PrintJobSetup {
  const char* jobId = nullptr;  // names the job information file (media class); may be null
  // The loaded media's class ("0001"), chooses the ICC profile; null: read
  // from the job information file of jobId.
  const char* mediaClass = nullptr;
  // The job options; the settings packets of every print read theirs again.
  int numOptions = 0;
  cups_option_t* options = nullptr;
  ppdfile_s* ppd = nullptr;  // defaults for options the job does not give; may be null
  // Taken instead of the image settings read from the options; null: those.
  const ImageSettings* settings = nullptr;
  int orientation = 1;  // 2 and 4: rows come top-down, each mirrored
  PacketSink sink = WritePacketsToFile;
  void* sinkContext = nullptr;                    // for WritePacketsToFile a FILE*, null: standard output
  const volatile sig_atomic_t* cancel = nullptr;  // the job stops once *cancel is non-zero; null: never
  DeviceEntry::Clock clock;                       // the time of the clock packet; empty: the real time
  // The printer's model, whose factory makes the job's device entry; null: the
  // process's profile (GetModelProfile) when it has a factory, else the TQ-58's.
  const ModelProfile* profile = nullptr;
};

enum class PageStart {
  kReady,    // rows may be added
  kRefused,  // no page: empty or above kMaxPageBytes; the job goes on
  kFailed,   // no page: memory exhausted
};

class PrintJob {
public:
  explicit PrintJob(const PrintJobSetup& setup);
  ~PrintJob();
  PrintJob(const PrintJob&) = delete;
  PrintJob& operator=(const PrintJob&) = delete;

  // Sends the clock packet and reads the settings, media and layout of the
  // job. Call once, before the first page. Blocks on the sink.
  void Start();

  // Opens a page of width x height pixels (24-bit RGB), to be printed copies
  // times; pagePoints is its size in points (null: unknown). A page still open
  // is dropped. Does not block.
  PageStart BeginPage(unsigned width, unsigned height, unsigned copies, const double* pagePoints);
  // Stores the next row of the open page: length bytes, R G B per pixel. False
  // once the job is cancelled: hand in no more rows. Does not block.
  bool AddRow(const unsigned char* row, size_t length);
  // Processes the open page once and sends its copies; rows never added stay
  // black. A cancelled job drops the page. Blocks on the sink.
  void EndPage();
  // A whole page in one call: page holds height rows of PageRowBytes(width)
  // bytes, bottom-up, from the C heap, and is taken over. Blocks on the sink.
  void PrintPage(unsigned char* page, unsigned width, unsigned height, unsigned copies, const double* pagePoints);
  // Sends the prints still waiting for a full layout, unless cancelled. Blocks on the sink.
  void Finish();

  bool IsCanceled() const { return setup_.cancel != nullptr && *setup_.cancel != 0; }
  DeviceEntry& GetEntry() { return *entry_; }

private:
  void ReadSettings();
  void SendBatchSettings();
  void SendCopies(_tagBITMAPHANDLE* bitmap);

  PrintJobSetup setup_;
  std::unique_ptr<DeviceEntry> entry_;
  int layoutCount_ = 1;
  int remainHalf_ = 0;
  int pageIndex_ = -1;  // pages begun so far, less one
  int pending_ = 0;     // images in the slots since the last print
  // The open page.
  unsigned char* page_ = nullptr;
  size_t rowBytes_ = 0;
  unsigned width_ = 0, height_ = 0, copies_ = 0, nextRow_ = 0;
};

// Stride of a 24-bit row of width pixels, padded to 4 bytes; 0 when it overflows.
size_t PageRowBytes(unsigned width);

// Copies one row (lineBytes bytes) into the page buffer as line i of a page of
// width x height: mirrored top-down for orientation 2 and 4, else bottom-up.
// Bytes the line does not hold stay zero. Does not block.
void StoreRasterLine(unsigned char* page, size_t rowBytes, const unsigned char* line, size_t lineBytes, unsigned width,
                     unsigned height, unsigned i, int orientation);

#endif
