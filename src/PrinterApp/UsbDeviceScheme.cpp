#include "UsbDeviceScheme.h"

#include <pappl/pappl.h>

#include <cstring>
#include <memory>

#include "BackendConfig.h"
#include "DeviceId.h"
#include "DeviceListing.h"
#include "ModelProfile.h"
#include "PrinterLink.h"
#include "QueueModel.h"
#include "SchemeDevice.h"
#include "UsbLibusb.h"

namespace {

// The queue model's device URI prefix with this scheme's name in front:
// "usb://PELLORI%20SYSTEMS/TQ-58?serial=".
std::string GetUriPrefix()
{
  const ModelProfile* profile = GetModelProfile();
  if (profile == nullptr || profile->queueModel == nullptr) return std::string();
  const char* rest = std::strstr(profile->queueModel->uriPrefix, "://");
  return rest == nullptr ? std::string() : kUsbScheme + std::string(rest);
}

// The backend's listing: each attached printer of the model that answers
// its serial number. Blocks in each printer's claim and query.
bool ListUsb(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*)
{
  const ModelProfile* profile = GetModelProfile();
  std::unique_ptr<UsbBus> bus = TQ58_OpenLibusbBus();
  if (bus == nullptr || profile == nullptr || profile->queueModel == nullptr) return false;
  const std::string backendPrefix = profile->queueModel->uriPrefix;
  for (const ListedPrinter& printer : ListPrinters(bus.get(), BackendConfig())) {
    const std::string serial = printer.deviceUri.substr(backendPrefix.size());
    const std::string info = std::string(profile->queueModel->description) + " (USB " + serial + ")";
    if (cb(info.c_str(), GetUsbDeviceUri(serial).c_str(), printer.deviceId.c_str(), data)) return true;
  }
  return false;
}

// Finds the attached printer with the URI's serial text and claims it.
// Blocks in each printer's claim (while another process holds one: up to
// the backend's claim wait) and query.
bool OpenUsb(pappl_device_t* device, const char* uri, const char*)
{
  const std::string prefix = GetUriPrefix();
  if (prefix.empty() || std::strncmp(uri, prefix.c_str(), prefix.size()) != 0 || uri[prefix.size()] == '\0') {
    papplDeviceError(device, "'%s' names no printer of this model.", uri);
    return false;
  }
  const std::string serial = uri + prefix.size();
  auto open = std::make_unique<SchemeDevice>();
  open->bus = TQ58_OpenLibusbBus();
  PrinterHandle printer;
  if (open->bus == nullptr || FindPrinter(open->bus.get(), serial, BackendConfig(), nullptr, &printer) != kUsbOk) {
    papplDeviceError(device, "No printer with the serial number '%s' is attached.", serial.c_str());
    return false;
  }
  open->device = std::move(printer.device);
  open->intf = std::move(printer.intf);
  GetInterfaceDeviceId(open->intf.get(), &open->deviceId);
  papplDeviceSetData(device, open.release());
  return true;
}

}  // namespace

void AddUsbDeviceScheme()
{
  papplDeviceAddScheme(kUsbScheme, PAPPL_DEVTYPE_USB, ListUsb, OpenUsb, CloseSchemeDevice, ReadSchemeDevice,
                       WriteSchemeDevice, nullptr, GetSchemeDeviceId);
}

std::string GetUsbDeviceUri(const std::string& serial)
{
  const std::string prefix = GetUriPrefix();
  return prefix.empty() ? std::string() : prefix + serial;
}
