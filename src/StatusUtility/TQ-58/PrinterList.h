// The system's list of printers as the status applications see it, behind a
// small interface so that their logic runs without a scheduler.
#ifndef TQ58_PRINTERLIST_H
#define TQ58_PRINTERLIST_H

#include <string>
#include <vector>

struct PrinterListEntry {
  std::string id;         // queue (destination) name
  std::string name;       // name shown to the user
  std::string deviceUri;  // empty when the queue has none
};

class PrinterListSource {
public:
  virtual ~PrinterListSource() = default;
  // Fills printers with the local printer list. False when the list cannot be
  // obtained; true with an empty list when there is no printer. May block on
  // the scheduler.
  virtual bool GetPrinterList(std::vector<PrinterListEntry>* printers) = 0;
};

// The serial text of a device URI: everything after its first "serial=";
// empty when there is none.
std::string GetSerialTextOfDeviceUri(const std::string& deviceUri);

#endif
