// fyxbackend: the CUPS backend of the TQ-58. Without arguments it lists the
// attached printers; with a job's arguments it sends the filter's stream to
// the printer named by the device URI's serial text. It runs as root (mode
// 0700) for USB access. SIGTERM (a cancelled job) is noticed between packets
// and in every wait; the job information file is removed on every way out.
// Its waits are the defaults of BackendConfig, unless TQ58_BACKEND_WAITS
// (set for tests, through the scheduler's SetEnv) names shorter ones.
#include <cups/backend.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "BackendJob.h"
#include "DeviceListing.h"
#include "ProfileTQ58.h"

namespace {

volatile sig_atomic_t g_Canceled = 0;

void CancelJob(int /*signal*/)
{
  g_Canceled = 1;
}

void InstallSignals()
{
  struct sigaction action = {};
  action.sa_handler = CancelJob;  // no SA_RESTART: a blocking read returns at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv)
{
  InstallSignals();
  SetModelProfile(&GetProfileTQ58());
  BackendConfig config;
  SetBackendWaits(std::getenv(kBackendWaitsVariable), &config);
  const BackendLog log;
  UsbStatus status = kUsbOk;
  std::unique_ptr<UsbBus> bus = TQ58_OpenUsbBus(&status);
  if (argc == 1) {
    if (bus != nullptr) ReportPrinters(ListPrinters(bus.get(), config));
    return CUPS_BACKEND_OK;
  }
  BackendJob job;
  const int parsed = ParseBackendJob(argc, argv, cupsBackendDeviceURI(argv), log, &job);
  if (parsed != CUPS_BACKEND_OK) return parsed;
  int result = CUPS_BACKEND_CANCEL;
  if (bus == nullptr) {
    log.Error("Cannot open the USB bus (status " + std::to_string(static_cast<int>(status)) + "); no print was made.");
  } else {
    result = RunBackendJob(bus.get(), job, config, &g_Canceled, log);
  }
  if (job.fromFile) close(job.inputFd);
  return result;
}
