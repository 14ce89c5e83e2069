// Getting hold of one printer for a job: finding it on the bus by its serial
// text, claiming its interface, and waiting for it while it is not attached.
//
// One claim at a time: the status daemon claims the printer too, for the few
// exchanges of a polling pass, and a claim is exclusive on either bus. The
// backend claims the printer for one print at a time and leaves it free
// between prints; a claim refused while the daemon holds the interface is
// tried again shortly, since a pass is short.
#ifndef TQ58_PRINTERLINK_H
#define TQ58_PRINTERLINK_H

#include <memory>
#include <string>

#include "BackendConfig.h"
#include "BackendLog.h"
#include "PrinterReport.h"
#include "UsbTransport.h"

// An opened printer: its device and the claimed interface that carries the
// job (null while the printer is left free between prints).
struct PrinterHandle {
  UsbDeviceRef ref;  // the printer on the bus, to claim it again
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> intf;
  std::string serialText;

  // Releases the claim; the device stays open, to be claimed again.
  void Release() { intf.reset(); }

  // Releases the claim and closes the device.
  void Close()
  {
    intf.reset();
    device.reset();
  }
};

// Opens the printer ref and claims its first interface that can be claimed.
// A claim the platform refuses (another process holds the interface) is tried
// again every config.claimRetryMs for up to claimWaitMs. Returns kUsbOk,
// kUsbNoDevice when the printer is gone, else why it could not be claimed.
// Blocks up to claimWaitMs.
UsbStatus OpenPrinterInterface(UsbBus* bus, const UsbDeviceRef& ref, unsigned claimWaitMs, const BackendConfig& config,
                               const volatile sig_atomic_t* cancel, PrinterHandle* out);

// Claims printer's interface again (a no-op while it is claimed), retrying a
// refused claim as OpenPrinterInterface does for up to config.claimWaitMs.
// Returns kUsbOk, kUsbNoDevice when the printer is gone, else why it could
// not be claimed. Blocks up to claimWaitMs.
UsbStatus ClaimPrinter(UsbBus* bus, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                       PrinterHandle* printer);

// Leaves the printer free for the status daemon before the backend claims it
// for the next print, when a marker of the printer serialText asks the daemon
// for data: a marker that asks once and that the daemon has not taken up yet
// is waited for (up to config.markerWaitMs; *patient turns false when that
// ran out, and later calls no longer wait for such a marker), then the
// printer stays free for config.yieldMs, in which the daemon, refused during
// the print, gets it. Without a marker it returns at once. Blocks up to
// markerWaitMs + yieldMs.
void LeaveTurnToDaemon(const std::string& serialText, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                       bool* patient);

// Looks through the attached printers for the one whose serial text is
// serialText and leaves it claimed in out. kUsbOk when found, kUsbNoDevice
// when no attached printer has that serial text. Blocks in each printer's
// claim and serial-number query.
UsbStatus FindPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                      const volatile sig_atomic_t* cancel, PrinterHandle* out);

enum class PrinterWait { kFound, kCanceled };

// FindPrinter until it succeeds or the job is cancelled, rescanning whenever
// the bus changes and at least every config.busPollMs: a job waits for its
// printer for as long as it is not cancelled. While the printer is missing
// the scheduler is told so (offline-report, and a waiting message said again
// every config.statusPollMs); once it is back, that it is. The caller reads
// the printer next, which takes the report back. Blocks until then.
PrinterWait WaitForPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel, PrinterReport* report, PrinterHandle* out);

#endif
