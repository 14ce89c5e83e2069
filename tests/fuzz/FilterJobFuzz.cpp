// Fuzzes the filter's whole job in-process: the first input line is the job's
// option string, the rest the CUPS raster stream, read from a file named in
// the arguments. The queue's PPD is the packaged one; the job information
// file is present, waits are skipped and the printer stream is counted and
// dropped. A job whose stream passes kOutputLimit is cancelled as SIGTERM
// would, so that pages with millions of copies stay within the time limit;
// rasters with a page above kMaxPixels or kMaxCopies are passed over, as
// their resampling or copies alone take longer than the time limit of one input.
#include <cups/raster.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "FuzzSupport.h"
#include "JobDriver.h"

namespace {

constexpr size_t kOutputLimit = size_t{64} << 20;
constexpr uint64_t kMaxPixels = uint64_t{1} << 22;
constexpr unsigned kMaxLineBytes = 1u << 20;
constexpr unsigned kMaxCopies = 64;

// True when every page header of the raster file stays within the limits above.
bool HasOnlySmallPages(const std::string& path)
{
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  fuzz::Require(fd >= 0);
  cups_raster_t* raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
  bool small = true;
  cups_page_header2_t header;
  std::string line;
  while (small && raster != nullptr && cupsRasterReadHeader2(raster, &header)) {
    small = uint64_t{header.cupsWidth} * header.cupsHeight <= kMaxPixels && header.cupsBytesPerLine <= kMaxLineBytes &&
            header.NumCopies <= kMaxCopies;
    if (!small) break;
    line.resize(header.cupsBytesPerLine);
    for (unsigned i = 0; small && i < header.cupsHeight && !line.empty(); ++i) {
      if (cupsRasterReadPixels(raster, reinterpret_cast<unsigned char*>(line.data()), header.cupsBytesPerLine) == 0)
        break;
    }
  }
  cupsRasterClose(raster);
  close(fd);
  return small;
}

// The bytes written so far, and the cancel flag raised past kOutputLimit.
struct Output {
  size_t written = 0;
  volatile sig_atomic_t canceled = 0;
};

ssize_t CountAndDrop(void* cookie, const char*, size_t size)
{
  Output& out = *static_cast<Output*>(cookie);
  out.written += size;
  if (out.written > kOutputLimit) out.canceled = 1;
  return static_cast<ssize_t>(size);
}

FilterJobHooks MakeHooks(FILE* output, const volatile sig_atomic_t* cancel)
{
  FilterJobHooks hooks;
  hooks.cancel = cancel;
  hooks.sleep = [](unsigned) {};
  hooks.clock = [] { return std::time_t{1767225600}; };
  hooks.output = output;
  return hooks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const std::string raster = fuzz::GetTempRoot() + "/job.ras";
  static const bool prepared = [] {
    setenv("PPD", TQ58_FUZZ_PPD, 1);
    fuzz::WriteWholeFile(fuzz::GetCacheFolder() + "/Print_77.log", nullptr, 0);
    return true;
  }();
  (void)prepared;
  std::string options = fuzz::SplitHead(data, size, 256);
  fuzz::WriteWholeFile(raster, data, size);
  if (!HasOnlySmallPages(raster)) return 0;
  Output counted;
  FILE* output = fopencookie(&counted, "w", cookie_io_functions_t{nullptr, CountAndDrop, nullptr, nullptr});
  fuzz::Require(output != nullptr);
  char arg0[] = "rastertotq58", job[] = "77", user[] = "user", title[] = "title", copies[] = "1";
  std::string file = raster;
  char* argv[] = {arg0, job, user, title, copies, options.data(), file.data(), nullptr};
  fuzz::Require(RunFilterJob(7, argv, MakeHooks(output, &counted.canceled)) == 0);
  std::fclose(output);
  return 0;
}
