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
// cache folder: stat, wait, stop when the stat succeeded or the job was
// cancelled. Always 0. Blocks.
int PrinterStatusCheck(const char* jobId, const std::function<void(unsigned)>& sleep);

// Runs one job with the standard filter arguments (job-id user title copies
// options [file]). Returns the exit code: 1 for a wrong argument count or an
// unreadable file, else 0. Blocks while reading the raster.
int RunFilterJob(int argc, char** argv, const FilterJobHooks& hooks = FilterJobHooks());

// Largest page buffer the filter takes (bytes); bigger pages are dropped.
constexpr size_t kMaxPageBytes = size_t{512} << 20;

#endif
