#include "EmulatedDevice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "SchemeDevice.h"
#include "UsbEmulated.h"
#include "UsbIdsTQ58.h"

namespace {

constexpr char kUriPrefix[] = "tq58emu://bus/";

std::unique_ptr<UsbBus> OpenBus()
{
  const char* folder = std::getenv("TQ58_EMULATED_USB");
  if (folder == nullptr || folder[0] == '\0') return nullptr;
  return TQ58_OpenEmulatedBus(folder);
}

// The folder name of a device reference ("name#socket").
std::string GetName(const UsbDeviceRef& ref)
{
  return ref.id.substr(0, ref.id.find('#'));
}

// Lists the TQ-58s on the bus. Does not block beyond reading the folder.
bool ListEmulated(pappl_device_cb_t cb, void* data, pappl_deverror_cb_t, void*)
{
  std::unique_ptr<UsbBus> bus = OpenBus();
  std::vector<UsbDeviceRef> devices;
  if (bus == nullptr || bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices) != kUsbOk) return false;
  const char* folder = std::getenv("TQ58_EMULATED_USB");
  for (const UsbDeviceRef& ref : devices) {
    EmulatedDeviceFile file;
    if (!TQ58_ReadEmulatedDeviceFile(std::string(folder) + "/" + GetName(ref) + "/device", &file)) continue;
    const std::string info = "PELLORI SYSTEMS TQ-58 (emulated " + GetName(ref) + ")";
    if (cb(info.c_str(), GetEmulatedDeviceUri(GetName(ref)).c_str(), file.deviceId.c_str(), data)) return true;
  }
  return false;
}

// Opens and claims the named printer's interface. Blocks briefly.
bool OpenEmulated(pappl_device_t* device, const char* uri, const char*)
{
  if (std::strncmp(uri, kUriPrefix, sizeof kUriPrefix - 1) != 0) return false;
  const std::string name = uri + sizeof kUriPrefix - 1;
  std::unique_ptr<UsbBus> bus = OpenBus();
  std::vector<UsbDeviceRef> devices;
  if (bus == nullptr || bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices) != kUsbOk) return false;
  for (const UsbDeviceRef& ref : devices) {
    if (GetName(ref) != name) continue;
    auto open = std::make_unique<SchemeDevice>();
    if (bus->OpenDevice(ref, &open->device) != kUsbOk || open->device->OpenInterface(0, &open->intf) != kUsbOk) {
      papplDeviceError(device, "Unable to open the emulated printer '%s'.", name.c_str());
      return false;
    }
    EmulatedDeviceFile file;
    if (TQ58_ReadEmulatedDeviceFile(std::string(std::getenv("TQ58_EMULATED_USB")) + "/" + name + "/device", &file))
      open->deviceId = file.deviceId;
    open->bus = std::move(bus);
    papplDeviceSetData(device, open.release());
    return true;
  }
  papplDeviceError(device, "No emulated printer '%s' on the bus.", name.c_str());
  return false;
}

}  // namespace

void AddEmulatedDeviceScheme()
{
  // Listed with the USB devices: the emulated bus stands for the USB bus.
  papplDeviceAddScheme(kEmulatedScheme, PAPPL_DEVTYPE_USB, ListEmulated, OpenEmulated, CloseSchemeDevice,
                       ReadSchemeDevice, WriteSchemeDevice, nullptr, GetSchemeDeviceId);
}

std::string GetEmulatedDeviceUri(const std::string& name)
{
  return kUriPrefix + name;
}
