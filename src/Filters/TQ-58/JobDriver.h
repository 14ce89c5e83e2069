// The filter's job driver: argument checks, settings, the page loop with its
// copies and cancel checkpoints, and the exit code. rastertotq58's main only
// calls RunFilterJob.
#ifndef TQ58_JOBDRIVER_H
#define TQ58_JOBDRIVER_H

#include <csignal>
#include <cstdio>
#include <functional>

#include "PhotoPrinterDevice.h"

// Set by CancelJob when SIGTERM arrives; read at the job's checkpoints.
extern volatile sig_atomic_t Canceled;

// The SIGTERM handler: only sets Canceled.
void CancelJob(int signal);

// What a test may replace: the one-second wait, the clock of the clock packet
// and the output stream (standard output by default).
struct FilterJobHooks {
  std::function<void(unsigned seconds)> sleep;
  DeviceEntry::Clock clock;
  FILE* output = nullptr;
};

// Waits up to 120 x 1 s for the job information file Print_<jobId>.log in the
// cache folder: look (a link is not followed), wait, stop when anything was
// there or the job was cancelled (SIGTERM cuts the wait short). Always 0. Blocks.
int PrinterStatusCheck(const char* jobId, const std::function<void(unsigned)>& sleep);

// Runs one job with the standard filter arguments (job-id user title copies
// options [file]). Returns the exit code: 1 for a wrong argument count or an
// unreadable file, else 0. Blocks while reading the raster; a cancel ends a
// wait for raster input within a fraction of a second.
int RunFilterJob(int argc, char** argv, const FilterJobHooks& hooks = FilterJobHooks());

// Largest page buffer the filter takes (bytes); bigger pages are dropped.
constexpr size_t kMaxPageBytes = size_t{512} << 20;

#endif
