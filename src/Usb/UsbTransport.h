// The USB transport the daemon and the backend talk to the printer through.
// The logic above it never sees the USB library: a bus lists and watches the
// attached devices, an opened device offers its interfaces, and an opened
// interface carries the bulk pipes and the class control requests.
//
// Two adapters implement it: libusb-1.0 (UsbLibusb.h) and the emulated bus of
// a folder (UsbEmulated.h). TQ58_OpenUsbBus picks one by the environment.
#ifndef TQ58_USBTRANSPORT_H
#define TQ58_USBTRANSPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Outcome of one transport operation.
enum UsbStatus : int {
  kUsbOk = 0,             // completed
  kUsbTimeout = 1,        // the time-out passed; the transferred count tells how far it got
  kUsbTransferError = 2,  // started, but ended in error (stall, overflow); nothing more to read
  kUsbNoDevice = 3,       // the device or its connection is gone
  kUsbRefused = 4,        // the platform refused to start the operation
  kUsbInvalid = 5,        // bad argument
};

// One attached device as the bus lists it. id is unique for one plug-in: the
// same device plugged in again gets a new id.
struct UsbDeviceRef {
  std::string id;
  uint16_t vendorId = 0;
  uint16_t productId = 0;

  bool operator==(const UsbDeviceRef&) const = default;
};

// One opened (claimed) interface. Closing it is destroying it.
class UsbInterface {
public:
  virtual ~UsbInterface() = default;

  // Bulk write on the interface's OUT pipe (pipe 1). Blocks until every byte
  // is taken or timeoutMs passed; *transferred gets the bytes taken.
  virtual UsbStatus BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred) = 0;

  // Bulk read on the interface's IN pipe (pipe 2). Blocks until size bytes came
  // or timeoutMs passed; *transferred gets the bytes read. Bytes past them are
  // left as they were.
  virtual UsbStatus BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred) = 0;

  // A control request with data from the device on the default pipe (pipe 0),
  // such as the printer class GET_DEVICE_ID (requestType 0xA1, request 0).
  // Blocks up to timeoutMs; *transferred gets the bytes received.
  virtual UsbStatus ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                              uint16_t length, unsigned timeoutMs, int* transferred) = 0;

  // The configuration value of the device and this interface's number. Do not block.
  virtual UsbStatus GetConfigurationValue(int* value) = 0;
  virtual UsbStatus GetInterfaceNumber(int* value) = 0;
};

// One opened device. Its interfaces may outlive it; they close on their own.
class UsbDevice {
public:
  virtual ~UsbDevice() = default;

  // The number of interfaces of the active configuration. Does not block.
  virtual int GetInterfaceCount() const = 0;

  // Opens (claims) interface index (0 .. count - 1) for this process alone: a
  // kernel driver bound to it is detached first (the seize). One claim at a
  // time: while another open holds the interface (another process, or
  // another open in this one) the claim fails at once with kUsbRefused.
  // Blocks briefly.
  virtual UsbStatus OpenInterface(int index, std::unique_ptr<UsbInterface>* out) = 0;
};

// The bus: the devices attached now and their comings and goings.
class UsbBus {
public:
  virtual ~UsbBus() = default;

  // Fills devices with the attached devices whose vendor and product IDs match.
  // Does not block beyond reading the bus.
  virtual UsbStatus ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices) = 0;

  // Blocks until a device may have come or gone, or timeoutMs passed. A caller
  // lists the devices afterwards to learn what changed (UsbWatcher does that).
  virtual void WaitForChange(unsigned timeoutMs) = 0;

  // Opens an attached device. kUsbNoDevice when it is gone. Blocks briefly.
  virtual UsbStatus OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out) = 0;
};

// The emulated bus of the folder named by TQ58_EMULATED_USB when that variable
// is set and not empty, else libusb. *status (when not null) gets kUsbOk or the
// reason no bus could be opened (null result).
std::unique_ptr<UsbBus> TQ58_OpenUsbBus(UsbStatus* status = nullptr);

// Reports the matching devices that came and went between two polls.
class UsbWatcher {
public:
  UsbWatcher(UsbBus* bus, uint16_t vendorId, uint16_t productId);

  // Reports the changes since the last call at once; when there are none, waits
  // up to timeoutMs for one. The first call reports every attached device as
  // added. Blocks up to timeoutMs.
  void Poll(unsigned timeoutMs, std::vector<UsbDeviceRef>* added, std::vector<UsbDeviceRef>* removed);

private:
  UsbBus* bus_;
  uint16_t vendorId_, productId_;
  bool first_ = true;
  std::vector<UsbDeviceRef> known_;
};

#endif
