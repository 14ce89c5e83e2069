// CUPS filter for the TQ-58: CUPS raster pages in, the printer's command
// stream out on standard output. main only wires the SIGTERM flag to the job
// and sets how the C heap keeps freed blocks.
#include <malloc.h>

#include <csignal>

#include "JobDriver.h"
#include "PhotoPrinterDeviceTQ58.h"

namespace {

// Set by CancelJob when SIGTERM arrives; the job reaches it through its hooks.
volatile sig_atomic_t Canceled = 0;

// The SIGTERM handler: only sets Canceled.
void CancelJob(int /*signal*/)
{
  Canceled = 1;
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

// The page and the bitmap of each step are blocks of megabytes. Kept in the
// heap when freed (up to 32 MiB each), the next step reuses their pages
// instead of having the kernel map and zero fresh ones.
void KeepFreedPageBlocks()
{
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace

int main(int argc, char** argv)
{
  InstallCancelHandler();
  KeepFreedPageBlocks();
  SetModelProfile(&GetFilterProfileTQ58());
  FilterJobHooks hooks;
  hooks.cancel = &Canceled;
  return RunFilterJob(argc, argv, hooks);
}
