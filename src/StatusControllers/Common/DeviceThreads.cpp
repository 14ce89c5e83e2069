#include "DeviceThreads.h"

#include <algorithm>
#include <system_error>

#include "PollingPass.h"

namespace {

void Unlist(thdata* rec)
{
  std::lock_guard<std::mutex> lock(m);
  thDevData.erase(std::remove(thDevData.begin(), thDevData.end(), rec), thDevData.end());
}

thdata* FindRecord(const UsbDeviceRef& service)
{
  std::lock_guard<std::mutex> lock(m);
  for (thdata* rec : thDevData) {
    if (rec->service == service) return rec;
  }
  return nullptr;
}

}  // namespace

void dealWithDevice(UsbBus* bus, const UsbDeviceRef& service)
{
  auto* rec = new thdata;
  rec->service = service;
  rec->bus = bus;
  {
    // Listed before its thread starts, so a removal that follows at once finds it.
    std::lock_guard<std::mutex> lock(m);
    thDevData.push_back(rec);
  }
  try {
    rec->thread = std::thread(thread_function, rec);
  } catch (const std::system_error&) {
    Unlist(rec);
    delete rec;
  }
}

void DeviceAdded(UsbBus* bus, const std::vector<UsbDeviceRef>& added)
{
  for (const UsbDeviceRef& service : added) dealWithDevice(bus, service);
}

void DeviceRemoved(const std::vector<UsbDeviceRef>& removed)
{
  for (const UsbDeviceRef& service : removed) {
    thdata* rec = FindRecord(service);
    if (rec == nullptr) continue;
    RequestStop(rec);
    if (rec->thread.joinable()) rec->thread.join();  // never under m
    std::vector<thdata*> gone;
    {
      std::lock_guard<std::mutex> lock(m);
      auto split = std::stable_partition(thDevData.begin(), thDevData.end(),
                                         [&](const thdata* r) { return !(r->service == service); });
      gone.assign(split, thDevData.end());
      thDevData.erase(split, thDevData.end());
    }
    for (thdata* r : gone) {
      if (r->thread.joinable()) {
        RequestStop(r);
        r->thread.join();
      }
      delete r;  // releases its device if still held
    }
  }
}

std::vector<UsbDeviceRef> GetRecordedDevices()
{
  std::lock_guard<std::mutex> lock(m);
  std::vector<UsbDeviceRef> devices;
  for (const thdata* rec : thDevData) devices.push_back(rec->service);
  return devices;
}

void RunDeviceWatch(UsbBus* bus, uint16_t vendorId, uint16_t productId, const std::atomic<bool>* stop)
{
  UsbWatcher watcher(bus, vendorId, productId);
  std::vector<UsbDeviceRef> added, removed;
  while (stop == nullptr || !*stop) {
    watcher.Poll(GetDaemonConfig().busPollMs, &added, &removed);
    // Removals first: a printer plugged in again gets a fresh record after its old one is gone.
    DeviceRemoved(removed);
    DeviceAdded(bus, added);
  }
}
