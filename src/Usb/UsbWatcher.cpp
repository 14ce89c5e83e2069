#include <algorithm>

#include "UsbTransport.h"

UsbWatcher::UsbWatcher(UsbBus* bus, uint16_t vendorId, uint16_t productId)
    : bus_(bus), vendorId_(vendorId), productId_(productId)
{}

void UsbWatcher::Poll(unsigned timeoutMs, std::vector<UsbDeviceRef>* added, std::vector<UsbDeviceRef>* removed)
{
  added->clear();
  removed->clear();
  if (bus_ == nullptr) return;
  std::vector<UsbDeviceRef> now;
  // A bus that cannot be listed this time reports no change, rather than the
  // loss of every device. A change since the last poll is reported at once.
  if (bus_->ListDevices(vendorId_, productId_, &now) != kUsbOk) return;
  if (!first_ && now == known_) {
    bus_->WaitForChange(timeoutMs);
    if (bus_->ListDevices(vendorId_, productId_, &now) != kUsbOk) return;
  }
  first_ = false;
  const auto contains = [](const std::vector<UsbDeviceRef>& list, const UsbDeviceRef& d) {
    return std::find(list.begin(), list.end(), d) != list.end();
  };
  for (const UsbDeviceRef& d : now) {
    if (!contains(known_, d)) added->push_back(d);
  }
  for (const UsbDeviceRef& d : known_) {
    if (!contains(now, d)) removed->push_back(d);
  }
  known_ = std::move(now);
}
