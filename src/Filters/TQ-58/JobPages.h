// The page loop of a job: reading raster pages into bottom-up page buffers,
// processing each once, and sending its copies as prints.
#ifndef TQ58_JOBPAGES_H
#define TQ58_JOBPAGES_H

#include <cups/raster.h>

#include <cstddef>

#include "PhotoPrinterDevice.h"

struct JobContext {
  const char* jobId = nullptr;
  int numOptions = 0;
  cups_option_t* options = nullptr;
  ppdfile_s* ppd = nullptr;
  int orientation = 1;
  int layoutCount = 1;
  int remainHalf = 0;
};

// Stride of a 24-bit row of width pixels, padded to 4 bytes; 0 when it overflows.
size_t PageRowBytes(unsigned width);

// Copies one raster line (lineBytes bytes) into the page buffer as line i of
// a page of width x height: mirrored top-down for orientation 2 and 4, else
// bottom-up. Bytes the line does not hold stay zero. Does not block.
void StoreRasterLine(unsigned char* page, size_t rowBytes, const unsigned char* line, size_t lineBytes,
                     unsigned width, unsigned height, unsigned i, int orientation);

// Reads every page of raster, processes it and sends its copies; stops at a
// cancel checkpoint. Blocks on the raster stream.
void RunPageLoop(DeviceEntry& entry, cups_raster_t* raster, JobContext& job);

#endif
