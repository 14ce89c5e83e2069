#include "PrintClaim.h"

#include <chrono>

#include "PrinterCondition.h"

PrintClaim::PrintClaim(UsbBus* bus, std::string serialText, const BackendConfig& config,
                       const volatile sig_atomic_t* cancel, PrinterReport* report, const BackendLog& log)
    : bus_(bus), serialText_(std::move(serialText)), config_(config), cancel_(cancel), report_(report), log_(log)
{}

UsbStatus PrintClaim::ClaimAfterDaemon(PrinterHandle* printer)
{
  const auto start = std::chrono::steady_clock::now();
  LeaveTurnToDaemon(serialText_, config_, cancel_, &patient_);
  const UsbStatus status = ClaimPrinter(bus_, config_, cancel_, printer);
  const long long waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  if (waited >= config_.claimRetryMs) {
    log_.Debug("Waited " + std::to_string(waited) + " ms for the printer between prints (the status daemon's turn).");
  }
  return status;
}

UsbStatus PrintClaim::ClaimWhenReady(PrinterHandle* printer)
{
  for (;;) {
    if (IsCanceled(cancel_)) return kUsbRefused;
    const UsbStatus status = ClaimAfterDaemon(printer);
    if (status != kUsbOk) return status;
    const PrinterReading reading = ReadPrinter(printer->intf.get());
    if (reading.status == kStatusFailed) {
      // No answer: the printer may be gone, or replaced by another on the
      // same port. The caller looks for it again by its serial number.
      printer->Close();
      return kUsbNoDevice;
    }
    report_->SetReading(reading);
    if (IsReadyToPrint(reading.status)) {
      report_->Say("Sending print " + std::to_string(report_->GetPrintsMade() + 1) + " to the printer.");
      return kUsbOk;
    }
    // Left free while it cannot print: the status daemon and the window keep
    // seeing it, and the next look may find it fixed.
    printer->Release();
    report_->Say(GetStatusText(reading.status) + " The job goes on once that is done.");
    PauseUnlessCanceled(config_.statusPollMs, cancel_);
  }
}
