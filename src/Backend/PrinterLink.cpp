#include "PrinterLink.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "PhotoPrinterIF.h"
#include "SerialText.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsLeft(Clock::time_point deadline)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
}

// One attempt: open the device and claim the first interface that lets itself be claimed.
UsbStatus TryOpen(UsbBus* bus, const UsbDeviceRef& ref, PrinterHandle* out)
{
  UsbStatus status = bus->OpenDevice(ref, &out->device);
  if (status != kUsbOk || out->device == nullptr) return status == kUsbOk ? kUsbNoDevice : status;
  status = kUsbRefused;
  for (int i = 0; i < out->device->GetInterfaceCount(); ++i) {
    status = out->device->OpenInterface(i, &out->intf);
    if (status == kUsbOk && out->intf != nullptr) return kUsbOk;
    if (status == kUsbNoDevice) break;
  }
  out->Close();
  return status == kUsbOk ? kUsbRefused : status;
}

}  // namespace

UsbStatus OpenPrinterInterface(UsbBus* bus, const UsbDeviceRef& ref, unsigned claimWaitMs,
                               const BackendConfig& config, const volatile sig_atomic_t* cancel,
                               PrinterHandle* out)
{
  if (bus == nullptr || out == nullptr) return kUsbInvalid;
  out->Close();
  const auto deadline = Clock::now() + std::chrono::milliseconds(claimWaitMs);
  for (;;) {
    const UsbStatus status = TryOpen(bus, ref, out);
    // Only a refused claim may be another process's; anything else is final.
    if (status != kUsbRefused || IsCanceled(cancel) || MsLeft(deadline) <= 0) return status;
    const long long pause = std::min<long long>(config.claimRetryMs, MsLeft(deadline));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::max<long long>(pause, 1)));
  }
}

UsbStatus FindPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                      const volatile sig_atomic_t* cancel, PrinterHandle* out)
{
  if (bus == nullptr || out == nullptr) return kUsbInvalid;
  std::vector<UsbDeviceRef> devices;
  if (bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices) != kUsbOk) return kUsbNoDevice;
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

PrinterWait WaitForPrinter(UsbBus* bus, const std::string& serialText, unsigned waitMs, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel, const BackendLog& log, PrinterHandle* out)
{
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  bool reported = false;
  for (;;) {
    if (FindPrinter(bus, serialText, config, cancel, out) == kUsbOk) {
      if (reported) {
        log.State("-offline-report");
        log.Info("The printer is connected again.");
      }
      return PrinterWait::kFound;
    }
    if (IsCanceled(cancel)) return PrinterWait::kCanceled;
    if (!reported) {
      log.State("+offline-report");
      log.Info("Waiting for the TQ-58 printer with serial " + serialText + " to be connected.");
      reported = true;
    }
    const long long left = MsLeft(deadline);
    if (left <= 0) return PrinterWait::kNotAttached;
    bus->WaitForChange(static_cast<unsigned>(std::min<long long>(left, config.busPollMs)));
  }
}
