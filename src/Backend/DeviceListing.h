// The backend run without arguments: every attached printer of the process's
// model (GetModelProfile) as one device line
// for the scheduler (lpinfo -v), with the device URI the daemon gives the
// printer's queue.
#ifndef TQ58_DEVICELISTING_H
#define TQ58_DEVICELISTING_H

#include <string>
#include <vector>

#include "BackendConfig.h"
#include "UsbTransport.h"

struct ListedPrinter {
  std::string deviceUri;  // the queue's URI with the printer's serial text
  std::string deviceId;   // its IEEE 1284 device ID; empty when it gave none
};

// The attached printers whose serial number could be read, in bus order.
// Blocks in each printer's claim (up to config.listClaimWaitMs) and queries.
std::vector<ListedPrinter> ListPrinters(UsbBus* bus, const BackendConfig& config);

// Writes one "direct <uri> "<make and model>" "<info>" "<device ID>" """ line
// per printer on standard output (cupsBackendReport), the make and model
// being the queue model's description. Blocks on the pipe only.
void ReportPrinters(const std::vector<ListedPrinter>& printers);

#endif
