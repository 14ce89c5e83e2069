// The page loop of the filter: CUPS raster pages read line by line into the
// print job, which processes each page once and sends its copies.
#ifndef TQ58_JOBPAGES_H
#define TQ58_JOBPAGES_H

#include <cups/raster.h>

#include "PrintJob.h"

// Reads every page of raster into job, then sends the prints still waiting;
// stops at a cancel checkpoint (after each line, after each page, after each
// further page header). Blocks on the raster stream and on the job's sink.
void RunPageLoop(PrintJob& job, cups_raster_t* raster);

#endif
