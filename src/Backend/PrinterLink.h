// Getting hold of one printer for a job: finding it on the bus by its serial
// text, claiming its interface, and waiting for it while it is not attached.
//
// The daemon claims the printer too, for the few exchanges of a polling pass
// (only in passes that need it). On libusb a claim is exclusive, so a claim
// refused while the daemon holds the interface is tried again shortly; on the
// emulated bus every connection has pipes of its own and is served on its own.
#ifndef TQ58_PRINTERLINK_H
#define TQ58_PRINTERLINK_H

#include <memory>
#include <string>

#include "BackendConfig.h"
#include "BackendLog.h"
#include "UsbTransport.h"

// An opened printer: its device and the claimed interface that carries the job.
struct PrinterHandle {
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> intf;
  std::string serialText;

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
UsbStatus OpenPrinterInterface(UsbBus* bus, const UsbDeviceRef& ref, unsigned claimWaitMs,
                               const BackendConfig& config, const volatile sig_atomic_t* cancel,
                               PrinterHandle* out);

// Looks through the attached printers for the one whose serial text is
// serialText and leaves it claimed in out. kUsbOk when found, kUsbNoDevice
// when no attached printer has that serial text. Blocks in each printer's
// claim and serial-number query.
UsbStatus FindPrinter(UsbBus* bus, const std::string& serialText, const BackendConfig& config,
                      const volatile sig_atomic_t* cancel, PrinterHandle* out);

enum class PrinterWait { kFound, kNotAttached, kCanceled };

// FindPrinter until it succeeds, for up to waitMs, rescanning whenever the
// bus changes and at least every config.busPollMs. While the printer is
// missing the scheduler is told so ("STATE: +offline-report" and an INFO
// line); the report is taken back once it is found. Blocks up to waitMs.
PrinterWait WaitForPrinter(UsbBus* bus, const std::string& serialText, unsigned waitMs, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel, const BackendLog& log, PrinterHandle* out);

#endif
