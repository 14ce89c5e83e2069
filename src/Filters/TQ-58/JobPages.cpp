#include "JobPages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "JobDriver.h"
#include "NvoImgLib.h"

namespace {

// Copies of one page are sent even when a cancel arrives meanwhile, so a page
// may not ask for an endless run of them: the scheduler's own default limit.
constexpr unsigned kMaxCopies = 9999;

void SendBatchSettings(DeviceEntry& entry, const JobContext& job)
{
  entry.SendCutterMode(job.numOptions, job.options, job.ppd);
  entry.SendOvercoatFinish(job.numOptions, job.options, job.ppd);
  entry.SendPrintRetry(job.numOptions, job.options, job.ppd);
  entry.SendPrintSpeed(job.numOptions, job.options, job.ppd);
  entry.SendDecurl(job.numOptions, job.options, job.ppd);
}

// Reads and drops the lines of a page the filter does not take, so that the
// next page header can be read. False when the stream ends or cannot be read.
bool SkipPage(cups_raster_t* raster, const cups_page_header2_t& header)
{
  if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxPageBytes) return false;
  auto* line = static_cast<unsigned char*>(std::malloc(header.cupsBytesPerLine));
  if (line == nullptr) return false;
  bool ok = true;
  for (unsigned i = 0; i < header.cupsHeight && ok && !Canceled; ++i)
    ok = cupsRasterReadPixels(raster, line, header.cupsBytesPerLine) == header.cupsBytesPerLine;
  std::free(line);
  return ok;
}

// Reads one page into a new bottom-up 24-bit page buffer. Null when the page
// is refused (empty or too large) or the job was cancelled while reading it;
// *readable turns false when the stream cannot go on.
unsigned char* ReadPage(cups_raster_t* raster, const cups_page_header2_t& header, int orientation, bool* readable)
{
  const size_t rowBytes = PageRowBytes(header.cupsWidth);
  // The line buffer is sized by the header too: a line above the page limit is refused.
  const bool fits = header.cupsWidth > 0 && header.cupsHeight > 0 && rowBytes > 0 &&
                    header.cupsHeight <= kMaxPageBytes / rowBytes && header.cupsBytesPerLine <= kMaxPageBytes;
  if (!fits) {
    *readable = SkipPage(raster, header);
    return nullptr;
  }
  auto* page = static_cast<unsigned char*>(std::calloc(header.cupsHeight, rowBytes));
  auto* line = static_cast<unsigned char*>(header.cupsBytesPerLine > 0 ? std::calloc(1, header.cupsBytesPerLine)
                                                                       : nullptr);
  if (page == nullptr || line == nullptr) {
    std::free(page);
    std::free(line);
    *readable = false;
    return nullptr;
  }
  for (unsigned i = 0; i < header.cupsHeight; ++i) {
    if (cupsRasterReadPixels(raster, line, header.cupsBytesPerLine) != header.cupsBytesPerLine) break;
    StoreRasterLine(page, rowBytes, line, header.cupsBytesPerLine, header.cupsWidth, header.cupsHeight, i,
                    orientation);
    if (Canceled) break;
  }
  std::free(line);
  if (Canceled) {
    std::free(page);
    return nullptr;
  }
  return page;
}

// Sends the copies of one processed page; pending counts images waiting in the slots.
void SendCopies(DeviceEntry& entry, _tagBITMAPHANDLE* bitmap, unsigned copies, int pageIndex, int* pending,
                const JobContext& job)
{
  for (unsigned c = 0; c < copies; ++c) {
    const bool oddHalf = c == 0 && pageIndex == 0 && job.remainHalf > 0 && job.remainHalf % 2 == 1;
    const int target = oddHalf ? 1 : job.layoutCount;
    entry.SetImageData(*pending, bitmap);
    ++*pending;
    if (*pending >= target) {
      SendBatchSettings(entry, job);
      entry.SendImageData(target);
      *pending = 0;
    }
  }
}

}  // namespace

size_t PageRowBytes(unsigned width)
{
  const uint64_t bytes = (uint64_t{width} * 24 + 31) / 32 * 4;
  return bytes > kMaxPageBytes ? 0 : static_cast<size_t>(bytes);
}

void StoreRasterLine(unsigned char* page, size_t rowBytes, const unsigned char* line, size_t lineBytes,
                     unsigned width, unsigned height, unsigned i, int orientation)
{
  if (i >= height) return;
  const size_t pixelBytes = size_t{width} * 3;
  const size_t held = lineBytes < pixelBytes ? lineBytes / 3 : width;  // whole pixels the line holds
  if (orientation == 2 || orientation == 4) {
    unsigned char* row = page + rowBytes * i;
    for (size_t k = 0; k < held; ++k) std::memcpy(row + 3 * (width - 1 - k), line + 3 * k, 3);
  } else {
    std::memcpy(page + rowBytes * (height - 1 - i), line, held * 3);
  }
}

void RunPageLoop(DeviceEntry& entry, cups_raster_t* raster, JobContext& job)
{
  cups_page_header2_t header;
  if (raster == nullptr || !cupsRasterReadHeader2(raster, &header) || Canceled) return;
  int pageIndex = 0, pending = 0;
  for (;;) {
    bool readable = true;
    unsigned char* page = ReadPage(raster, header, job.orientation, &readable);
    if (Canceled) return;
    if (page != nullptr) {
      entry.pageSizePoints[0] = header.cupsPageSize[0];
      entry.pageSizePoints[1] = header.cupsPageSize[1];
      _tagBITMAPHANDLE* bitmap =
          entry.MakeImageData(reinterpret_cast<char*>(page), header.cupsWidth, header.cupsHeight, pending);
      if (bitmap != nullptr) {
        SendCopies(entry, bitmap, std::min(header.NumCopies, kMaxCopies), pageIndex, &pending, job);
        IL_FreeBitmap(bitmap);
        std::free(bitmap);
      }
    }
    if (!readable || !cupsRasterReadHeader2(raster, &header)) break;
    ++pageIndex;
    if (Canceled) return;
  }
  if (pending > 0 && !Canceled) {
    SendBatchSettings(entry, job);
    entry.SendImageData(pending);
  }
}
