#include "DeviceListing.h"

#include <cups/backend.h>

#include "DeviceId.h"
#include "ModelProfile.h"
#include "PhotoPrinterIF.h"
#include "PrinterLink.h"
#include "QueueModel.h"
#include "SerialText.h"

namespace {

// The device ID with every control byte made a space, so it stays one field of one line.
std::string ReadDeviceId(UsbInterface* intf)
{
  std::string id;
  if (!GetInterfaceDeviceId(intf, &id)) return std::string();
  for (char& c : id) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return id;
}

}  // namespace

std::vector<ListedPrinter> ListPrinters(UsbBus* bus, const BackendConfig& config)
{
  std::vector<ListedPrinter> printers;
  std::vector<UsbDeviceRef> devices;
  const ModelProfile* profile = GetModelProfile();
  if (bus == nullptr || profile == nullptr || profile->queueModel == nullptr ||
      bus->ListDevices(profile->usbVendorId, profile->usbProductId, &devices) != kUsbOk) {
    return printers;
  }
  for (const UsbDeviceRef& ref : devices) {
    PrinterHandle printer;
    if (OpenPrinterInterface(bus, ref, config.listClaimWaitMs, config, nullptr, &printer) != kUsbOk) continue;
    char serial[kSerialTextSize] = {};
    if (GetSerialNo(printer.intf.get(), serial, sizeof serial) < 0 || serial[0] == '\0') continue;
    printers.push_back({std::string(profile->queueModel->uriPrefix) + serial, ReadDeviceId(printer.intf.get())});
  }
  return printers;
}

void ReportPrinters(const std::vector<ListedPrinter>& printers)
{
  const ModelProfile* profile = GetModelProfile();
  if (profile == nullptr || profile->queueModel == nullptr) return;
  const char* makeAndModel = profile->queueModel->description;
  for (const ListedPrinter& p : printers) {
    cupsBackendReport("direct", p.deviceUri.c_str(), makeAndModel, makeAndModel, p.deviceId.c_str(), "");
  }
}
