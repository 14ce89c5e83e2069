#include "CupsPrinterList.h"

#include <cups/cups.h>

bool CupsPrinterList::GetPrinterList(std::vector<PrinterListEntry>* printers)
{
  printers->clear();
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  if (count <= 0) {
    cupsFreeDests(count, dests);
    // No destination: a scheduler without printers answers "not found"; any
    // other error means the list could not be obtained.
    const ipp_status_t status = cupsLastError();
    return status <= IPP_STATUS_OK_EVENTS_COMPLETE || status == IPP_STATUS_ERROR_NOT_FOUND;
  }
  for (int i = 0; i < count; ++i) {
    const cups_dest_t& dest = dests[i];
    if (dest.instance != nullptr) continue;
    PrinterListEntry entry;
    entry.id = dest.name;
    const char* info = cupsGetOption("printer-info", dest.num_options, dest.options);
    entry.name = info != nullptr && info[0] != '\0' ? info : dest.name;
    const char* uri = cupsGetOption("device-uri", dest.num_options, dest.options);
    if (uri != nullptr) entry.deviceUri = uri;
    printers->push_back(std::move(entry));
  }
  cupsFreeDests(count, dests);
  return true;
}
