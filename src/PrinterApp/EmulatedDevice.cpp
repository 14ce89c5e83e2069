#include "EmulatedDevice.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "UsbEmulated.h"
#include "UsbIdsTQ58.h"

namespace {

constexpr char kUriPrefix[] = "tq58emu://bus/";
constexpr unsigned kWriteTimeoutMs = 5000;
constexpr unsigned kReadTimeoutMs = 2000;

struct OpenPrinter {
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> intf;
  std::string deviceId;
};

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
    auto open = std::make_unique<OpenPrinter>();
    if (bus->OpenDevice(ref, &open->device) != kUsbOk || open->device->OpenInterface(0, &open->intf) != kUsbOk) {
      papplDeviceError(device, "Unable to open the emulated printer '%s'.", name.c_str());
      return false;
    }
    EmulatedDeviceFile file;
    if (TQ58_ReadEmulatedDeviceFile(std::string(std::getenv("TQ58_EMULATED_USB")) + "/" + name + "/device", &file))
      open->deviceId = file.deviceId;
    papplDeviceSetData(device, open.release());
    return true;
  }
  papplDeviceError(device, "No emulated printer '%s' on the bus.", name.c_str());
  return false;
}

void CloseEmulated(pappl_device_t* device)
{
  delete static_cast<OpenPrinter*>(papplDeviceGetData(device));
}

// Reads what the printer answers, up to bytes. Blocks up to kReadTimeoutMs.
ssize_t ReadEmulated(pappl_device_t* device, void* buffer, size_t bytes)
{
  auto* open = static_cast<OpenPrinter*>(papplDeviceGetData(device));
  int transferred = 0;
  const int size = bytes > 65536 ? 65536 : static_cast<int>(bytes);
  const UsbStatus status =
      open->intf->BulkRead(static_cast<unsigned char*>(buffer), size, kReadTimeoutMs, &transferred);
  if (status != kUsbOk && status != kUsbTimeout) return -1;
  return transferred;
}

// Writes every byte; a printer that takes nothing for a while (busy with the
// print before) is waited for. Blocks until written or the printer is gone.
ssize_t WriteEmulated(pappl_device_t* device, const void* buffer, size_t bytes)
{
  auto* open = static_cast<OpenPrinter*>(papplDeviceGetData(device));
  const auto* data = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < bytes) {
    const size_t left = bytes - done;
    const int chunk = left > 65536 ? 65536 : static_cast<int>(left);
    int transferred = 0;
    const UsbStatus status = open->intf->BulkWrite(data + done, chunk, kWriteTimeoutMs, &transferred);
    if (status != kUsbOk && status != kUsbTimeout) return -1;
    done += static_cast<size_t>(transferred);
  }
  return static_cast<ssize_t>(bytes);
}

// The device ID the bus's "device" file gave at the opening. Does not block.
char* GetEmulatedId(pappl_device_t* device, char* buffer, size_t size)
{
  const auto* open = static_cast<const OpenPrinter*>(papplDeviceGetData(device));
  std::snprintf(buffer, size, "%s", open->deviceId.c_str());
  return buffer;
}

}  // namespace

void AddEmulatedDeviceScheme()
{
  // Listed with the USB devices: the emulated bus stands for the USB bus.
  papplDeviceAddScheme(kEmulatedScheme, PAPPL_DEVTYPE_USB, ListEmulated, OpenEmulated, CloseEmulated, ReadEmulated,
                       WriteEmulated, nullptr, GetEmulatedId);
}

std::string GetEmulatedDeviceUri(const std::string& name)
{
  return kUriPrefix + name;
}
