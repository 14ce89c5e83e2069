// The printer's state for PAPPL: the status, media and counters read over the
// printer's PAPPL device (an adapter gives the project's printer queries a
// USB interface over papplDeviceRead/papplDeviceWrite), shown as PAPPL's
// printer-state reasons, one supply (the ribbon and paper set: prints left
// against a full set) and the loaded media; jobs wait while the printer
// cannot take a print.
#ifndef TQ58_PRINTERAPP_PRINTERSTATUS_H
#define TQ58_PRINTERAPP_PRINTERSTATUS_H

#include <pappl/pappl.h>

#include <string>

// One look at the printer.
struct PrinterState {
  int status = 0;          // STATUS; kStatusFailed without an answer
  int initial = -1;        // prints of a full set, -1 unknown
  int remain = -1;         // prints left, -1 unknown
  long totalCount = -1;    // prints made in the printer's life, -1 unknown
  int mediaSize = -1;      // the loaded roll's width code (150, 161), -1 unknown
  std::string mediaClass;  // the loaded media's class ("0001"), empty unknown
  std::string message;     // a line for the user, empty when all is well
};

// The nearest PAPPL reasons for the printer's status and counts.
pappl_preason_t GetStateReasons(const PrinterState& state);

// Queries the printer on device. Blocks in the exchanges (a few seconds at
// most when the printer does not answer).
PrinterState ReadPrinterState(pappl_device_t* device);

// Shows state on printer: reasons, supply, ready media; keeps it for the web
// page (GetLastPrinterState). Does not block.
void ShowPrinterState(pappl_printer_t* printer, const PrinterState& state);

// The state last shown for printer; false when none was read yet. Does not block.
bool GetLastPrinterState(pappl_printer_t* printer, PrinterState* state);

// Drops what is kept for a printer being deleted (PAPPL's delete callback). Does not block.
void ForgetPrinterState(pappl_printer_t* printer, pappl_pr_driver_data_t* data);

// PAPPL's status callback: reads and shows the state when the device is free
// (not during a job). Blocks in the exchanges.
bool UpdatePrinterStatus(pappl_printer_t* printer);

// Before a job's first print: reads the state and, while the printer cannot
// take a print, shows why and polls every second until it can or the job is
// cancelled; *state gets the last reading. False when cancelled. Blocks.
bool WaitUntilReady(pappl_job_t* job, pappl_device_t* device, PrinterState* state);

#endif
