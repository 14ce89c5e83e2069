#include "UsbLibusb.h"

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Owns an open device handle; interfaces keep it alive after their device.
struct Handle {
  libusb_device_handle* h = nullptr;
  ~Handle()
  {
    if (h != nullptr) libusb_close(h);
  }
};

// Identity of a device for one plug-in: bus, port path and address (a device
// plugged in again gets a new address).
std::string DeviceId(libusb_device* dev)
{
  uint8_t ports[8];
  const int n = libusb_get_port_numbers(dev, ports, sizeof ports);
  char text[64];
  int len = std::snprintf(text, sizeof text, "%03u-", libusb_get_bus_number(dev));
  for (int i = 0; i < n && len < 48; ++i) len += std::snprintf(text + len, sizeof text - len, i ? ".%u" : "%u", ports[i]);
  std::snprintf(text + len, sizeof text - len, "@%03u", libusb_get_device_address(dev));
  return text;
}

class LibusbInterface final : public UsbInterface {
public:
  LibusbInterface(std::shared_ptr<Handle> handle, int number, uint8_t outEp, uint8_t inEp)
      : handle_(std::move(handle)), number_(number), outEp_(outEp), inEp_(inEp)
  {
  }
  // Releasing the claim lets libusb re-attach a kernel driver it detached.
  ~LibusbInterface() override { libusb_release_interface(handle_->h, number_); }

  UsbStatus BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred) override
  {
    return Bulk(outEp_, const_cast<unsigned char*>(data), size, timeoutMs, transferred);
  }
  UsbStatus BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred) override
  {
    return Bulk(inEp_, data, size, timeoutMs, transferred);
  }
  UsbStatus ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                      uint16_t length, unsigned timeoutMs, int* transferred) override
  {
    if (transferred != nullptr) *transferred = 0;
    if ((requestType & LIBUSB_ENDPOINT_IN) == 0 || (data == nullptr && length > 0)) return kUsbInvalid;
    const int n = libusb_control_transfer(handle_->h, requestType, request, value, index, data, length, timeoutMs);
    if (n < 0) return TQ58_UsbStatusFromLibusb(n);
    if (transferred != nullptr) *transferred = n;
    return kUsbOk;
  }
  UsbStatus GetConfigurationValue(int* value) override
  {
    if (value == nullptr) return kUsbInvalid;
    const int r = libusb_get_configuration(handle_->h, value);
    return TQ58_UsbStatusFromLibusb(r);
  }
  UsbStatus GetInterfaceNumber(int* value) override
  {
    if (value == nullptr) return kUsbInvalid;
    *value = number_;
    return kUsbOk;
  }

private:
  UsbStatus Bulk(uint8_t endpoint, unsigned char* data, int size, unsigned timeoutMs, int* transferred)
  {
    int dummy = 0;
    int& done = transferred != nullptr ? *transferred : dummy;
    done = 0;
    if (size < 0 || (data == nullptr && size > 0)) return kUsbInvalid;
    if (endpoint == 0) return kUsbRefused;  // the interface has no such pipe
    return TQ58_UsbStatusFromLibusb(libusb_bulk_transfer(handle_->h, endpoint, data, size, &done, timeoutMs));
  }

  std::shared_ptr<Handle> handle_;
  int number_;
  uint8_t outEp_, inEp_;
};

class LibusbDevice final : public UsbDevice {
public:
  LibusbDevice(std::shared_ptr<Handle> handle, libusb_config_descriptor* config)
      : handle_(std::move(handle)), config_(config)
  {
  }
  ~LibusbDevice() override { libusb_free_config_descriptor(config_); }

  int GetInterfaceCount() const override { return config_->bNumInterfaces; }

  UsbStatus OpenInterface(int index, std::unique_ptr<UsbInterface>* out) override
  {
    if (out == nullptr || index < 0 || index >= config_->bNumInterfaces) return kUsbInvalid;
    out->reset();
    const libusb_interface& intf = config_->interface[index];
    if (intf.num_altsetting < 1) return kUsbRefused;
    const libusb_interface_descriptor& alt = intf.altsetting[0];
    uint8_t outEp = 0, inEp = 0;
    for (int e = 0; e < alt.bNumEndpoints; ++e) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[e];
      if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
      uint8_t& slot = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? inEp : outEp;
      if (slot == 0) slot = ep.bEndpointAddress;
    }
    // The seize: a kernel driver bound to the interface (usblp) is detached on
    // claim and re-attached on release.
    libusb_set_auto_detach_kernel_driver(handle_->h, 1);
    const int r = libusb_claim_interface(handle_->h, alt.bInterfaceNumber);
    if (r != 0) return TQ58_UsbStatusFromLibusb(r);
    *out = std::make_unique<LibusbInterface>(handle_, alt.bInterfaceNumber, outEp, inEp);
    return kUsbOk;
  }

private:
  std::shared_ptr<Handle> handle_;
  libusb_config_descriptor* config_;
};

class LibusbBus final : public UsbBus {
public:
  explicit LibusbBus(libusb_context* ctx) : ctx_(ctx)
  {
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
      const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
      hotplug_ = libusb_hotplug_register_callback(ctx_, events, 0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                                  LIBUSB_HOTPLUG_MATCH_ANY, &LibusbBus::OnHotplug, this,
                                                  &hotplugHandle_) == LIBUSB_SUCCESS;
    }
  }
  ~LibusbBus() override
  {
    if (hotplug_) libusb_hotplug_deregister_callback(ctx_, hotplugHandle_);
    libusb_exit(ctx_);
  }

  UsbStatus ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices) override;
  void WaitForChange(unsigned timeoutMs) override;
  UsbStatus OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out) override;

private:
  // libusb forbids I/O inside the callback: it only notes that the bus changed.
  static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* self)
  {
    static_cast<LibusbBus*>(self)->changed_ = true;
    return 0;
  }

  libusb_context* ctx_;
  bool hotplug_ = false;
  libusb_hotplug_callback_handle hotplugHandle_ = 0;
  std::atomic<bool> changed_{false};
};

UsbStatus LibusbBus::ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices)
{
  if (devices == nullptr) return kUsbInvalid;
  devices->clear();
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx_, &list);
  if (n < 0) return TQ58_UsbStatusFromLibusb(static_cast<int>(n));
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(list[i], &d) != 0) continue;
    if (d.idVendor != vendorId || d.idProduct != productId) continue;
    devices->push_back(UsbDeviceRef{DeviceId(list[i]), d.idVendor, d.idProduct});
  }
  libusb_free_device_list(list, 1);
  return kUsbOk;
}

void LibusbBus::WaitForChange(unsigned timeoutMs)
{
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (!hotplug_) {
    // Without hotplug events the caller rescans after each wait: keep it to a second.
    std::this_thread::sleep_until(std::min(deadline, Clock::now() + std::chrono::seconds(1)));
    return;
  }
  while (!changed_.exchange(false)) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    timeval tv{static_cast<time_t>(left / 1000000), static_cast<suseconds_t>(left % 1000000)};
    libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
  }
}

UsbStatus LibusbBus::OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out)
{
  if (out == nullptr) return kUsbInvalid;
  out->reset();
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx_, &list);
  if (n < 0) return TQ58_UsbStatusFromLibusb(static_cast<int>(n));
  UsbStatus status = kUsbNoDevice;
  for (ssize_t i = 0; i < n && status == kUsbNoDevice; ++i) {
    if (DeviceId(list[i]) != device.id) continue;
    auto handle = std::make_shared<Handle>();
    int r = libusb_open(list[i], &handle->h);
    libusb_config_descriptor* config = nullptr;
    if (r == 0) r = libusb_get_active_config_descriptor(list[i], &config);
    status = TQ58_UsbStatusFromLibusb(r);
    if (r == 0) *out = std::make_unique<LibusbDevice>(std::move(handle), config);
  }
  libusb_free_device_list(list, 1);
  return status;
}

}  // namespace

UsbStatus TQ58_UsbStatusFromLibusb(int code)
{
  switch (code) {
  case LIBUSB_SUCCESS: return kUsbOk;
  case LIBUSB_ERROR_TIMEOUT: return kUsbTimeout;
  // The transfer ran and ended badly; what it read stays in the buffer.
  case LIBUSB_ERROR_PIPE:
  case LIBUSB_ERROR_OVERFLOW:
  case LIBUSB_ERROR_IO:
  case LIBUSB_ERROR_INTERRUPTED: return kUsbTransferError;
  case LIBUSB_ERROR_NO_DEVICE: return kUsbNoDevice;
  case LIBUSB_ERROR_INVALID_PARAM: return kUsbInvalid;
  default: return code > 0 ? kUsbOk : kUsbRefused;
  }
}

std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(UsbStatus* status)
{
  libusb_context* ctx = nullptr;
  const int r = libusb_init(&ctx);
  if (status != nullptr) *status = TQ58_UsbStatusFromLibusb(r);
  if (r != 0) return nullptr;
  return std::make_unique<LibusbBus>(ctx);
}
