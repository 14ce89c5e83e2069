// The printer's own web page beside PAPPL's: the status message, the loaded
// media, the prints left and the printer's total count, as last read by the
// status callback; linked from the printer's page (PAPPL's page shows the
// state and the supply level, not the counters).
#ifndef TQ58_PRINTERAPP_PRINTERPAGE_H
#define TQ58_PRINTERAPP_PRINTERPAGE_H

#include <pappl/pappl.h>

#include <string>

// Adds the page "/<printer>/counters" and its link, once per printer. Does not block.
void AddPrinterPage(pappl_printer_t* printer, void* data = nullptr);

// The page's text for a state (HTML table rows, escaped). Does not block.
struct PrinterState;
std::string GetPrinterPageRows(const PrinterState& state);

#endif
