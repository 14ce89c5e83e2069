// The printer list from the CUPS scheduler (the one CUPS_SERVER names, or the default).
#ifndef TQ58_CUPSPRINTERLIST_H
#define TQ58_CUPSPRINTERLIST_H

#include "PrinterList.h"

// ID = destination name, name = its "printer-info" (the destination name when
// that is absent or empty), URI = its "device-uri". Instances are not printers
// of their own and are left out.
class CupsPrinterList : public PrinterListSource {
public:
  // One IPP request to the scheduler; blocks until it answers.
  bool GetPrinterList(std::vector<PrinterListEntry>* printers) override;
};

#endif
