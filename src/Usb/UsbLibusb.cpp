#include "UsbLibusb.h"

#include <fcntl.h>
#include <libusb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <mutex>
#include <thread>

#include "UsbKernel.h"

namespace {

using Clock = std::chrono::steady_clock;

// Owns an open device handle; interfaces keep it alive after their device.
// A kernel driver detached to claim an interface (usblp) is given it back
// when the device closes, not at each release: a program that claims the
// interface now and then while it keeps the device open (the backend, once
// per print) does not make the kernel bind and probe usblp in between.
struct Handle {
  libusb_device_handle* h = nullptr;
  int fd = -1;            // the device node, when the handle wraps one of ours
  uint32_t detached = 0;  // bit n: interface n had a kernel driver we detached
  ~Handle()
  {
    if (h != nullptr) {
      for (int n = 0; n < 32; ++n) {
        if ((detached >> n) & 1U) libusb_attach_kernel_driver(h, n);
      }
      libusb_close(h);  // leaves a wrapped node open
    }
    if (fd >= 0) close(fd);
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
  for (int i = 0; i < n && len < 48; ++i)
    len += std::snprintf(text + len, sizeof text - len, i ? ".%u" : "%u", ports[i]);
  std::snprintf(text + len, sizeof text - len, "@%03u", libusb_get_device_address(dev));
  return text;
}

class LibusbInterface final : public UsbInterface {
public:
  LibusbInterface(std::shared_ptr<Handle> handle, int number, uint8_t outEp, uint8_t inEp)
      : handle_(std::move(handle)), number_(number), outEp_(outEp), inEp_(inEp)
  {}
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
  {}
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
    // The seize: a kernel driver bound to the interface (usblp) is detached
    // (another program's claim is not a kernel driver and stays) and given
    // back when the device closes. An interface claimed elsewhere is refused
    // with LIBUSB_ERROR_BUSY: kUsbRefused.
    const int number = alt.bInterfaceNumber;
    if (libusb_kernel_driver_active(handle_->h, number) == 1 && libusb_detach_kernel_driver(handle_->h, number) == 0 &&
        number < 32) {
      handle_->detached |= 1U << number;
    }
    const int r = libusb_claim_interface(handle_->h, number);
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
  LibusbBus(libusb_context* ctx, const LibusbBusOptions& options);
  ~LibusbBus() override;

  UsbStatus ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices) override;
  void WaitForChange(unsigned timeoutMs) override;
  UsbStatus OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out) override;

private:
  // libusb forbids I/O inside the callback: it only notes that the bus changed.
  static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* self)
  {
    auto* bus = static_cast<LibusbBus*>(self);
    bus->stale_ = true;
    ++bus->changes_;
    return 0;
  }
  bool GetKernelDevices(std::vector<KernelUsbDevice>* devices);
  void ReadUevents();
  void PollEvents(int timeoutMs);
  UsbStatus ListLibusbDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices);
  UsbStatus OpenKernelDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out);

  libusb_context* ctx_;
  LibusbBusOptions options_;
  int ueventFd_ = -1;
  bool kernelOnly_ = true;  // uevents of the netlink socket must come from the kernel
  bool hotplug_ = false;
  libusb_hotplug_callback_handle hotplugHandle_ = 0;
  std::atomic<unsigned> changes_{0};  // plug or unplug events seen so far
  std::atomic<bool> stale_{true};     // the kernel's list must be read again
  std::mutex listLock_;               // guards the uevent socket's reading and the list below
  bool listed_ = false;
  std::vector<KernelUsbDevice> kernelDevices_;
};

LibusbBus::LibusbBus(libusb_context* ctx, const LibusbBusOptions& options) : ctx_(ctx), options_(options)
{
  kernelOnly_ = options.ueventFd < 0;
  ueventFd_ = kernelOnly_ ? TQ58_OpenUeventSocket() : options.ueventFd;
  // libusb's hotplug only where the kernel's uevents cannot be had (a network
  // namespace of its own receives none): libusb takes it from udev.
  if (ueventFd_ < 0 && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    hotplug_ = libusb_hotplug_register_callback(ctx_, events, 0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                                LIBUSB_HOTPLUG_MATCH_ANY, &LibusbBus::OnHotplug, this,
                                                &hotplugHandle_) == LIBUSB_SUCCESS;
  }
}

LibusbBus::~LibusbBus()
{
  if (hotplug_) libusb_hotplug_deregister_callback(ctx_, hotplugHandle_);
  libusb_exit(ctx_);
  if (ueventFd_ >= 0) close(ueventFd_);
}

// Takes the uevents waiting on the socket; one about a USB device makes the
// kernel's list stale and counts as a change. Does not block.
void LibusbBus::ReadUevents()
{
  if (ueventFd_ < 0) return;
  std::lock_guard<std::mutex> lock(listLock_);
  if (TQ58_DrainUsbUevents(ueventFd_, kernelOnly_)) {
    stale_ = true;
    ++changes_;
  }
}

// The kernel's devices: read again only when a uevent or a hotplug event said
// that something changed, or every time when no uevents can be had. False
// when sysfs cannot be read.
bool LibusbBus::GetKernelDevices(std::vector<KernelUsbDevice>* devices)
{
  ReadUevents();
  std::lock_guard<std::mutex> lock(listLock_);
  if (ueventFd_ < 0 || stale_.exchange(false) || !listed_) {
    listed_ = TQ58_ListKernelUsbDevices(options_.sysfsRoot, &kernelDevices_);
  }
  *devices = kernelDevices_;
  return listed_;
}

UsbStatus LibusbBus::ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices)
{
  if (devices == nullptr) return kUsbInvalid;
  devices->clear();
  std::vector<KernelUsbDevice> attached;
  if (!GetKernelDevices(&attached)) return ListLibusbDevices(vendorId, productId, devices);
  for (const KernelUsbDevice& d : attached) {
    if (d.vendorId == vendorId && d.productId == productId)
      devices->push_back(UsbDeviceRef{d.GetId(), vendorId, productId});
  }
  return kUsbOk;
}

// libusb's own list, where sysfs cannot be read.
UsbStatus LibusbBus::ListLibusbDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices)
{
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

// Waits up to timeoutMs for a uevent, or for libusb's hotplug events where
// there are no uevents.
void LibusbBus::PollEvents(int timeoutMs)
{
  if (ueventFd_ >= 0) {
    pollfd p{ueventFd_, POLLIN, 0};
    poll(&p, 1, timeoutMs);
    return;
  }
  timeval tv{static_cast<time_t>(timeoutMs / 1000), static_cast<suseconds_t>(timeoutMs % 1000 * 1000)};
  libusb_handle_events_timeout_completed(ctx_, &tv, nullptr);
}

void LibusbBus::WaitForChange(unsigned timeoutMs)
{
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (ueventFd_ < 0 && !hotplug_) {
    // Nothing tells of a change: the caller lists the bus after each wait, so keep it to a second.
    std::this_thread::sleep_until(std::min(deadline, Clock::now() + std::chrono::seconds(1)));
    return;
  }
  // Waiting costs nothing until the kernel (or libusb) tells of a change.
  const unsigned before = changes_;
  for (;;) {
    ReadUevents();
    if (changes_ != before) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return;
    PollEvents(static_cast<int>(std::min<long long>(left, INT_MAX)));
  }
}

// Opens the device the kernel lists under the identity device.id through its
// device node, for a device that libusb's list does not hold (yet).
UsbStatus LibusbBus::OpenKernelDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out)
{
  std::vector<KernelUsbDevice> attached;
  TQ58_ListKernelUsbDevices(options_.sysfsRoot, &attached);
  const auto found =
      std::find_if(attached.begin(), attached.end(), [&](const KernelUsbDevice& d) { return d.GetId() == device.id; });
  if (found == attached.end()) return kUsbNoDevice;
  char node[64];
  std::snprintf(node, sizeof node, "/bus/usb/%03u/%03u", found->busNumber, found->deviceNumber);
  auto handle = std::make_shared<Handle>();
  handle->fd = open((options_.devRoot + node).c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (handle->fd < 0) return errno == ENOENT || errno == ENODEV ? kUsbNoDevice : kUsbRefused;
  int r = libusb_wrap_sys_device(ctx_, static_cast<intptr_t>(handle->fd), &handle->h);
  libusb_config_descriptor* config = nullptr;
  if (r == 0) r = libusb_get_active_config_descriptor(libusb_get_device(handle->h), &config);
  if (r == 0) *out = std::make_unique<LibusbDevice>(std::move(handle), config);
  return TQ58_UsbStatusFromLibusb(r);
}

UsbStatus LibusbBus::OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out)
{
  if (out == nullptr) return kUsbInvalid;
  out->reset();
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx_, &list);
  if (n < 0) return TQ58_UsbStatusFromLibusb(static_cast<int>(n));
  UsbStatus status = kUsbNoDevice;
  bool listed = false;
  for (ssize_t i = 0; i < n && !listed; ++i) {
    if (DeviceId(list[i]) != device.id) continue;
    listed = true;
    auto handle = std::make_shared<Handle>();
    int r = libusb_open(list[i], &handle->h);
    libusb_config_descriptor* config = nullptr;
    if (r == 0) r = libusb_get_active_config_descriptor(list[i], &config);
    status = TQ58_UsbStatusFromLibusb(r);
    if (r == 0) *out = std::make_unique<LibusbDevice>(std::move(handle), config);
  }
  libusb_free_device_list(list, 1);
  // Without udev, libusb's list keeps what it saw at the start: a printer
  // plugged in since is opened through its device node.
  return listed ? status : OpenKernelDevice(device, out);
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
  // The kernel refuses a second claim of an interface: the other program's
  // claim is a refused claim, to be tried again later.
  case LIBUSB_ERROR_BUSY: return kUsbRefused;
  default: return code > 0 ? kUsbOk : kUsbRefused;
  }
}

std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(UsbStatus* status)
{
  return TQ58_OpenLibusbBus(LibusbBusOptions(), status);
}

std::unique_ptr<UsbBus> TQ58_OpenLibusbBus(const LibusbBusOptions& options, UsbStatus* status)
{
  libusb_context* ctx = nullptr;
  const int r = libusb_init(&ctx);
  if (status != nullptr) *status = TQ58_UsbStatusFromLibusb(r);
  if (r != 0) {
    if (options.ueventFd >= 0) close(options.ueventFd);
    return nullptr;
  }
  return std::make_unique<LibusbBus>(ctx, options);
}
