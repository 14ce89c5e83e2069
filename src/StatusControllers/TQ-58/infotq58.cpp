// infotq58: the status daemon. Watches the USB bus for TQ-58 printers, keeps
// an information file per printer in the cache folder and registers a print
// queue for each. Runs until SIGINT or SIGTERM, which end it at once with
// status 0: every file it writes is replaced whole, so nothing is left half done.
// It takes no arguments; --help and --version answer without starting it.
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "CacheFolder.h"
#include "CacheWatch.h"
#include "DeviceThreads.h"
#include "PrintQueue.h"
#include "ProfileTQ58.h"
#include "StandardOptions.h"

namespace {

const char* const kHelp =
    "Usage: infotq58\n"
    "\n"
    "The TQ-58 status daemon. Watches the USB bus for TQ-58 printers, keeps an\n"
    "information file per printer in the cache folder and registers a CUPS print\n"
    "queue for each. Runs until SIGINT or SIGTERM; started once at boot by\n"
    "infotq58.service. TQ58_EMULATED_USB=FOLDER uses the emulated USB bus in\n"
    "FOLDER instead of the real one.\n";

void SignalHandler(int /*signal*/)
{
  _exit(0);
}

void InstallSignals()
{
  struct sigaction action = {};
  action.sa_handler = SignalHandler;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);  // how systemd stops a service
  // A closed standard output must not end the daemon; children get the default back.
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"infotq58", kHelp, {}, 0, 0};
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, nullptr);
  if (handled != kTQ58RunProgram) return handled;
  // Line-buffered, so that a message is out before a signal ends the process.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  InstallSignals();
  const ModelProfile& profile = GetProfileTQ58();
  SetModelProfile(&profile);
  CheckAndMake_CacheFolder(profile.cacheFolder);
  UsbStatus status = kUsbOk;
  std::unique_ptr<UsbBus> bus = TQ58_OpenUsbBus(&status);
  if (bus == nullptr) {
    std::printf("infotq58: unable to open the USB bus. ret = %08x\n", static_cast<unsigned>(status));
    return -1;
  }
  DaemonConfig config;
  config.queueStep = [](thdata* rec) { RunQueueStep(rec, *GetModelProfile()->queueModel, GetCupsQueuePlatform()); };
  // Plugs and markers are told by the kernel (uevents, inotify), so the
  // waits are only a safety net; a bus without events keeps its own second.
  config.busPollMs = 60000;
  SetDaemonConfig(config);
  if (!StartCacheWatch(profile.cacheFolder)) std::puts("infotq58: the cache folder is looked at every second");
  RunDeviceWatch(bus.get(), profile.usbVendorId, profile.usbProductId, nullptr);
  return 0;
}
