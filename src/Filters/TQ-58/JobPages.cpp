#include "JobPages.h"

#include <cstdlib>

namespace {

// Reads and drops the lines of a page the job does not take, so that the
// next page header can be read. False when the stream ends or cannot be read.
bool SkipPage(cups_raster_t* raster, const cups_page_header2_t& header, const PrintJob& job)
{
  if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxPageBytes) return false;
  auto* line = static_cast<unsigned char*>(std::malloc(header.cupsBytesPerLine));
  if (line == nullptr) return false;
  bool ok = true;
  for (unsigned i = 0; i < header.cupsHeight && ok && !job.IsCanceled(); ++i)
    ok = cupsRasterReadPixels(raster, line, header.cupsBytesPerLine) == header.cupsBytesPerLine;
  std::free(line);
  return ok;
}

// Reads one page into the job line by line and ends it there. A line that
// cannot be read ends the page as far as it came. False when the stream
// cannot go on: a line above the page limit, memory exhausted, or a refused
// page that cannot be read past.
bool ReadPage(cups_raster_t* raster, const cups_page_header2_t& header, PrintJob& job)
{
  // The line buffer is sized by the header too: a line above the page limit is refused.
  if (header.cupsBytesPerLine == 0 || header.cupsBytesPerLine > kMaxPageBytes) return false;
  auto* line = static_cast<unsigned char*>(std::calloc(1, header.cupsBytesPerLine));
  if (line == nullptr) return false;
  const double points[2] = {header.cupsPageSize[0], header.cupsPageSize[1]};
  const PageStart start = job.BeginPage(header.cupsWidth, header.cupsHeight, header.NumCopies, points);
  bool readable = start != PageStart::kFailed;
  if (start == PageStart::kRefused) readable = SkipPage(raster, header, job);
  for (unsigned i = 0; start == PageStart::kReady && i < header.cupsHeight; ++i) {
    if (cupsRasterReadPixels(raster, line, header.cupsBytesPerLine) != header.cupsBytesPerLine) break;
    if (!job.AddRow(line, header.cupsBytesPerLine)) break;
  }
  std::free(line);
  if (start == PageStart::kReady) job.EndPage();
  return readable;
}

}  // namespace

void RunPageLoop(PrintJob& job, cups_raster_t* raster)
{
  cups_page_header2_t header;
  if (raster == nullptr || !cupsRasterReadHeader2(raster, &header) || job.IsCanceled()) return;
  for (;;) {
    const bool readable = ReadPage(raster, header, job);
    if (job.IsCanceled()) return;
    if (!readable || !cupsRasterReadHeader2(raster, &header) || job.IsCanceled()) break;
  }
  job.Finish();
}
