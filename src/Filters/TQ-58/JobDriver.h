// The filter's job driver: argument checks, the CUPS options and PPD, the wait
// for the job information file, and the raster stream handed to the print job
// (PrintJob), with the exit code. rastertotq58's main installs the SIGTERM
// handler and calls RunFilterJob with its cancel flag.
#ifndef TQ58_JOBDRIVER_H
#define TQ58_JOBDRIVER_H

#include <csignal>
#include <cstdio>
#include <functional>

#include "PrintJob.h"

// The cancel flag the job looks at (null: none, as for a job nobody cancels),
// and what a test may replace: the one-second wait, the clock of the clock
// packet and the output stream (standard output by default).
struct FilterJobHooks {
  const volatile sig_atomic_t* cancel = nullptr;
  std::function<void(unsigned seconds)> sleep;
  DeviceEntry::Clock clock;
  FILE* output = nullptr;
};

// Waits up to 120 x 1 s for the job information file Print_<jobId>.log in the
// cache folder: look (a link is not followed), wait, stop when anything was
// there or *cancel was set (SIGTERM cuts the wait short; null: no cancel).
// Always 0. Blocks.
int PrinterStatusCheck(const char* jobId, const std::function<void(unsigned)>& sleep,
                       const volatile sig_atomic_t* cancel = nullptr);

// Runs one job with the standard filter arguments (job-id user title copies
// options [file]). Returns the exit code: 1 for a wrong argument count or an
// unreadable file, else 0. Blocks while reading the raster; a cancel ends a
// wait for raster input within a fraction of a second.
int RunFilterJob(int argc, char** argv, const FilterJobHooks& hooks = FilterJobHooks());

#endif
