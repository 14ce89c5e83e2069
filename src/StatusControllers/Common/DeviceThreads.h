// Device discovery: one record and one device thread per attached printer.
// The main thread learns of printers coming and going from the bus (UsbWatcher;
// libusb's hotplug callback only notes the change, the handling runs after it
// returns) and calls DeviceAdded and DeviceRemoved, one at a time.
#ifndef TQ58_DEVICETHREADS_H
#define TQ58_DEVICETHREADS_H

#include <atomic>
#include <cstdint>
#include <vector>

#include "DeviceRecord.h"
#include "UsbTransport.h"

// Creates the record of one printer, enters it in thDevData and starts its
// thread. A printer whose thread cannot start is ignored. Does not block.
void dealWithDevice(UsbBus* bus, const UsbDeviceRef& service);

// dealWithDevice for every added printer.
void DeviceAdded(UsbBus* bus, const std::vector<UsbDeviceRef>& added);

// For every removed printer that has a record: requests its stop, joins its
// thread (which finishes its pass and writes the offline file) and frees the
// record. Blocks until those threads have ended.
void DeviceRemoved(const std::vector<UsbDeviceRef>& removed);

// Every printer that has a record now. Takes m.
std::vector<UsbDeviceRef> GetRecordedDevices();

// The main loop: watches bus for printers of vendorId/productId and calls
// DeviceAdded/DeviceRemoved, until *stop is set (never when stop is null).
// Blocks.
void RunDeviceWatch(UsbBus* bus, uint16_t vendorId, uint16_t productId, const std::atomic<bool>* stop);

#endif
