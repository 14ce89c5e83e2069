#include "PrinterLink.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "MarkerFiles.h"
#include "ModelProfile.h"
#include "PhotoPrinterIF.h"
#include "SerialText.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsLeft(Clock::time_point deadline)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// One attempt: claim the first interface of the printer's device (opened
// first, unless it is open already) that lets itself be claimed.
UsbStatus TryClaim(UsbBus* bus, PrinterHandle* out)
{
  if (out->device == nullptr) {
    const UsbStatus status = bus->OpenDevice(out->ref, &out->device);
    if (status != kUsbOk || out->device == nullptr) {
      out->device.reset();
      return status == kUsbOk ? kUsbNoDevice : status;
    }
  }
  UsbStatus status = kUsbRefused;
  for (int i = 0; i < out->device->GetInterfaceCount(); ++i) {
    status = out->device->OpenInterface(i, &out->intf);
    if (status == kUsbOk && out->intf != nullptr) return kUsbOk;
    if (status == kUsbNoDevice) break;
  }
  out->intf.reset();
  if (status == kUsbNoDevice) out->device.reset();
  return status == kUsbOk ? kUsbRefused : status;
}

// TryClaim until it is not refused, for up to claimWaitMs.
UsbStatus ClaimWithin(UsbBus* bus, unsigned claimWaitMs, const BackendConfig& config,
                      const volatile sig_atomic_t* cancel, PrinterHandle* out)
{
  const auto deadline = Clock::now() + std::chrono::milliseconds(claimWaitMs);
  for (;;) {
    const UsbStatus status = TryClaim(bus, out);
    // Only a refused claim may be another process's; anything else is final.
    if (status != kUsbRefused || IsCanceled(cancel) || MsLeft(deadline) <= 0) return status;
    const long long pause = std::min<long long>(config.claimRetryMs, MsLeft(deadline));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max<long long>(pause, 1)));
  }
}

}  // namespace

UsbStatus OpenPrinterInterface(UsbBus* bus, const UsbDeviceRef& ref, unsigned claimWaitMs, const BackendConfig& config,
                               const volatile sig_atomic_t* cancel, PrinterHandle* out)
{
  if (bus == nullptr || out == nullptr) return kUsbInvalid;
  out->Close();
  out->ref = ref;
  const UsbStatus status = ClaimWithin(bus, claimWaitMs, config, cancel, out);
  if (status != kUsbOk) out->Close();
  return status;
}

UsbStatus ClaimPrinter(UsbBus* bus, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                       PrinterHandle* printer)
{
  if (bus == nullptr || printer == nullptr) return kUsbInvalid;
  if (printer->intf != nullptr) return kUsbOk;
  return ClaimWithin(bus, config.claimWaitMs, config, cancel, printer);
}

void LeaveTurnToDaemon(const std::string& serialText, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                       bool* patient)
{
  int flags = GetMarkerFlags(serialText.c_str());
  if (flags == 0) return;
  // A marker that asks once is consumed by the daemon's next pass: until
  // then, the daemon does not know it is asked.
  const auto deadline = Clock::now() + std::chrono::milliseconds(config.markerWaitMs);
  while (patient != nullptr && *patient && (flags & kMarkersAskingOnce) != 0 && !IsCanceled(cancel)) {
    if (Clock::now() >= deadline) {
      *patient = false;  // no daemon takes markers up
      break;
    }
    PauseUnlessCanceled(config.markerPollMs, cancel);
    flags = GetMarkerFlags(serialText.c_str());
  }
  PauseUnlessCanceled(config.yieldMs, cancel);
}

UsbStatus FindPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                      const volatile sig_atomic_t* cancel, PrinterHandle* out)
{
  if (bus == nullptr || out == nullptr) return kUsbInvalid;
  std::vector<UsbDeviceRef> devices;
  const ModelProfile* profile = GetModelProfile();
  if (profile == nullptr || bus->ListDevices(profile->usbVendorId, profile->usbProductId, &devices) != kUsbOk) {
    return kUsbNoDevice;
  }
  for (const UsbDeviceRef& ref : devices) {
    if (IsCanceled(cancel)) break;
    PrinterHandle candidate;
    if (OpenPrinterInterface(bus, ref, config.claimWaitMs, config, cancel, &candidate) != kUsbOk) continue;
    char serial[kSerialTextSize] = {};
    if (GetSerialNo(candidate.intf.get(), serial, sizeof serial) < 0 || serialText != serial) continue;
    candidate.serialText = serial;
    *out = std::move(candidate);
    return kUsbOk;
  }
  return kUsbNoDevice;
}

PrinterWait WaitForPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel, PrinterReport* report, PrinterHandle* out)
{
  bool reported = false;
  auto sayAgainAt = Clock::now();
  for (;;) {
    if (FindPrinter(bus, serialText, config, cancel, out) == kUsbOk) {
      if (reported) report->Say("The printer is connected again.");
      return PrinterWait::kFound;
    }
    if (IsCanceled(cancel)) return PrinterWait::kCanceled;
    if (!reported) {
      report->SetOffline();
      report->Say("Waiting for the " + std::string(GetModelTag()) + " printer with serial " + serialText +
                  " to be connected.");
      reported = true;
      sayAgainAt = Clock::now() + std::chrono::milliseconds(config.statusPollMs);
    } else if (Clock::now() >= sayAgainAt) {
      report->SayAgain();
      sayAgainAt = Clock::now() + std::chrono::milliseconds(config.statusPollMs);
    }
    bus->WaitForChange(config.busPollMs);
  }
}
