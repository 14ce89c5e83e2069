#include "JobDriver.h"

#include <cups/raster.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "CacheFiles.h"
#include "JobPages.h"

namespace {

constexpr int kInputWaitMs = 200;  // longest wait for input between looks at the cancel flag

void DefaultSleep(unsigned seconds)
{
  sleep(seconds);
}

struct RasterInput {
  int fd = 0;
  const volatile sig_atomic_t* cancel = nullptr;
};

bool IsSet(const volatile sig_atomic_t* flag)
{
  return flag != nullptr && *flag != 0;
}

// Raster bytes from the RasterInput *context, for cupsRasterOpenIO. While no
// input is there it waits in steps of kInputWaitMs and gives up (-1) once the
// job is cancelled, so a stalled sender cannot keep a cancelled job alive
// (the restarted read alone would wait for ever). Input that is there is
// always read: the page loop's checkpoints decide what a cancel drops.
// Blocks up to kInputWaitMs at a time.
ssize_t ReadInput(void* context, unsigned char* buffer, size_t length)
{
  const RasterInput& in = *static_cast<RasterInput*>(context);
  for (;;) {
    struct pollfd input = {in.fd, POLLIN, 0};
    const int ready = poll(&input, 1, kInputWaitMs);
    if (ready > 0) {
      const ssize_t n = read(in.fd, buffer, length);
      if (n >= 0 || (errno != EINTR && errno != EAGAIN)) return n;
    } else if (ready < 0 && errno != EINTR) {
      return -1;
    }
    if (IsSet(in.cancel)) return -1;
  }
}

int Orientation(int numOptions, cups_option_t* options)
{
  const char* value = cupsGetOption("com.apple.print.preset.Orientation..n.", numOptions, options);
  return value == nullptr ? 1 : std::atoi(value);
}

}  // namespace

int PrinterStatusCheck(const char* jobId, const std::function<void(unsigned)>& sleepFor,
                       const volatile sig_atomic_t* cancel)
{
  const std::string path = TQ58_GetCacheFolder() + "/Print_" + (jobId != nullptr ? jobId : "") + ".log";
  for (int i = 0; i < 120; ++i) {
    // Whatever stands at the name ends the wait, a link not followed; the
    // reader takes only a regular file and treats anything else as no file.
    struct stat info;
    const bool found = lstat(path.c_str(), &info) == 0;
    sleepFor(1);
    // A cancelled job has no use for the file; waiting on would keep it alive for two minutes.
    if (found || IsSet(cancel)) break;
  }
  return 0;
}

int RunFilterJob(int argc, char** argv, const FilterJobHooks& hooks)
{
  const auto sleepFor = hooks.sleep ? hooks.sleep : std::function<void(unsigned)>(DefaultSleep);
  if (argc != 6 && argc != 7) return 1;
  RasterInput input{0, hooks.cancel};
  if (argc == 7 && (input.fd = open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
    sleepFor(1);
    return 1;
  }
  PrintJobSetup setup;
  setup.jobId = argv[1];
  setup.numOptions = cupsParseOptions(argv[5], 0, &setup.options);
  setup.ppd = wrappedPpdOpenFile(std::getenv("PPD"));
  setup.orientation = Orientation(setup.numOptions, setup.options);
  setup.sinkContext = hooks.output;
  setup.cancel = hooks.cancel;
  setup.clock = hooks.clock;
  PrinterStatusCheck(setup.jobId, sleepFor, hooks.cancel);
  cups_raster_t* raster = cupsRasterOpenIO(ReadInput, &input, CUPS_RASTER_READ);
  {
    PrintJob job(setup);
    job.Start();
    RunPageLoop(job, raster);
  }
  wrappedPpdClose(setup.ppd);
  cupsRasterClose(raster);
  cupsFreeOptions(setup.numOptions, setup.options);
  if (input.fd != 0) close(input.fd);
  return 0;
}
