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

#include "ColorTransform.h"
#include "FixedPath.h"
#include "JobPages.h"
#include "PhotoPrinterDeviceTQ58.h"

volatile sig_atomic_t Canceled = 0;

void CancelJob(int /*signal*/) { Canceled = 1; }

namespace {

constexpr int kInputWaitMs = 200;  // longest wait for input between looks at the cancel flag

void DefaultSleep(unsigned seconds) { sleep(seconds); }

// Raster bytes from the descriptor *context, for cupsRasterOpenIO. While no
// input is there it waits in steps of kInputWaitMs and gives up (-1) once the
// job is cancelled, so a stalled sender cannot keep a cancelled job alive
// (the restarted read alone would wait for ever). Input that is there is
// always read: the page loop's checkpoints decide what a cancel drops.
// Blocks up to kInputWaitMs at a time.
ssize_t ReadInput(void* context, unsigned char* buffer, size_t length)
{
  const int fd = *static_cast<int*>(context);
  for (;;) {
    struct pollfd input = {fd, POLLIN, 0};
    const int ready = poll(&input, 1, kInputWaitMs);
    if (ready > 0) {
      const ssize_t n = read(fd, buffer, length);
      if (n >= 0 || (errno != EINTR && errno != EAGAIN)) return n;
    } else if (ready < 0 && errno != EINTR) {
      return -1;
    }
    if (Canceled) return -1;
  }
}

void InstallCancelHandler()
{
  struct sigaction action {};
  action.sa_handler = CancelJob;
  // Restarted, so that a write to the stream cut by the signal does not tear a packet.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
}

// Job options into the entry's settings, in the order the geometry needs them.
void ReadSettings(DeviceEntry& entry, const JobContext& job)
{
  entry.SetResolution(job.numOptions, job.options, job.ppd);
  entry.SetMediaSize(job.numOptions, job.options, job.ppd);
  entry.SetBorder(job.numOptions, job.options, job.ppd);
  entry.SetICM(job.numOptions, job.options, job.ppd);
  entry.SetSharpness(job.numOptions, job.options, job.ppd);
  entry.SetGamma(job.numOptions, job.options, job.ppd);
  entry.SetIntensity(job.numOptions, job.options, job.ppd);
  entry.SetContrast(job.numOptions, job.options, job.ppd);
  entry.SetSaturation(job.numOptions, job.options, job.ppd);
  entry.SetColorAdjustment(job.numOptions, job.options, job.ppd);
}

// Colour matching: off when the application matched colours itself; otherwise
// the profile is kept only when it is a regular file that can be read.
void ChooseProfile(DeviceEntry& entry, const JobContext& job)
{
  const char* mode = cupsGetOption("AP_ColorMatchingMode", job.numOptions, job.options);
  if (mode != nullptr && std::strcmp(mode, "AP_ApplicationColorMatching") == 0) entry.icm = 0;
  if (entry.icm == 0) return;
  const std::string path = entry.GetICCProfile(job.numOptions, job.options, job.ppd, job.jobId);
  std::string bytes;
  if (!path.empty() && GetProfileBytes(path.c_str(), &bytes)) entry.SetICCProfile(path.c_str());
}

int Orientation(int numOptions, cups_option_t* options)
{
  const char* value = cupsGetOption("com.apple.print.preset.Orientation..n.", numOptions, options);
  return value == nullptr ? 1 : std::atoi(value);
}

}  // namespace

int PrinterStatusCheck(const char* jobId, const std::function<void(unsigned)>& sleepFor)
{
  const std::string path = TQ58_FixedPath(kTQ58CacheFolder) + "/Print_" + (jobId != nullptr ? jobId : "") + ".log";
  for (int i = 0; i < 120; ++i) {
    // Whatever stands at the name ends the wait, a link not followed; the
    // reader takes only a regular file and treats anything else as no file.
    struct stat info;
    const bool found = lstat(path.c_str(), &info) == 0;
    sleepFor(1);
    // A cancelled job has no use for the file; waiting on would keep it alive for two minutes.
    if (found || Canceled) break;
  }
  return 0;
}

int RunFilterJob(int argc, char** argv, const FilterJobHooks& hooks)
{
  const auto sleepFor = hooks.sleep ? hooks.sleep : std::function<void(unsigned)>(DefaultSleep);
  if (argc != 6 && argc != 7) return 1;
  int fd = 0;
  if (argc == 7 && (fd = open(argv[6], O_RDONLY | O_CLOEXEC)) < 0) {
    sleepFor(1);
    return 1;
  }
  JobContext job;
  job.jobId = argv[1];
  job.numOptions = cupsParseOptions(argv[5], 0, &job.options);
  job.ppd = wrappedPpdOpenFile(std::getenv("PPD"));
  Canceled = 0;
  InstallCancelHandler();
  job.orientation = Orientation(job.numOptions, job.options);
  PrinterStatusCheck(job.jobId, sleepFor);
  cups_raster_t* raster = cupsRasterOpenIO(ReadInput, &fd, CUPS_RASTER_READ);

  {
    DeviceEntry_TQ58 entry;
    if (hooks.clock) entry.SetClock(hooks.clock);
    entry.SetOutput(hooks.output);
    entry.SendSysTime();
    ReadSettings(entry, job);
    ChooseProfile(entry, job);
    entry.SetPaperRotate(job.numOptions, job.options, job.ppd);
    job.layoutCount = entry.GetMultiLayoutNum(job.jobId);
    job.remainHalf = entry.GetRemainHalf(job.jobId);
    RunPageLoop(entry, raster, job);
  }

  wrappedPpdClose(job.ppd);
  cupsRasterClose(raster);
  cupsFreeOptions(job.numOptions, job.options);
  if (fd != 0) close(fd);
  return 0;
}
