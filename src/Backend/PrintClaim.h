// The claim of the printer for each print of a job. The status daemon gets
// its turn first (LeaveTurnToDaemon); then the printer is claimed and read,
// and the scheduler told its state. A printer that cannot print (out of
// media, cover open, an error, no answer) is left free again and read anew
// every config.statusPollMs, its reason and what to do shown meanwhile,
// until it can print or the job is cancelled: no print goes to a printer
// that cannot take it.
#ifndef TQ58_PRINTCLAIM_H
#define TQ58_PRINTCLAIM_H

#include <memory>
#include <string>

#include "BackendConfig.h"
#include "BackendLog.h"
#include "PrinterLink.h"
#include "PrinterReport.h"
#include "UsbTransport.h"

class PrintClaim {
public:
  PrintClaim(UsbBus* bus, std::string serialText, const BackendConfig& config, const volatile sig_atomic_t* cancel,
             PrinterReport* report, const BackendLog& log);

  // Claims printer's interface for the next print once the printer can print.
  // kUsbOk with printer->intf claimed; otherwise why not (the printer is gone,
  // or the claim was refused for config.claimWaitMs), or kUsbRefused when the
  // job was cancelled; printer->intf is then null. Blocks until then.
  UsbStatus ClaimWhenReady(PrinterHandle* printer);

private:
  // The daemon's turn and the claim; a wait of more than one claim attempt
  // is logged for debugging. Blocks.
  UsbStatus ClaimAfterDaemon(PrinterHandle* printer);

  UsbBus* bus_;
  std::string serialText_;
  const BackendConfig& config_;
  const volatile sig_atomic_t* cancel_;
  PrinterReport* report_;
  const BackendLog& log_;
  bool patient_ = true;  // LeaveTurnToDaemon still waits for markers that ask once
};

#endif
