// The daemon's per-printer record and the global list of records. The main
// thread creates and frees records (DeviceThreads.h); each record's device
// thread (PollingPass.h) works on its own record alone. The list is guarded
// by the mutex m; stopRequest is the only field both threads touch while the
// device thread runs.
#ifndef TQ58_DEVICERECORD_H
#define TQ58_DEVICERECORD_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "PrinterInfoFile.h"
#include "SerialText.h"
#include "UsbTransport.h"

struct ModelProfile;

struct thdata {
  std::thread thread;                   // the device thread
  char model[kModelSize] = {};          // from the IEEE 1284 device ID
  char serialNo[kSerialTextSize] = {};  // the serial text
  std::atomic<bool> stopRequest{false};
  bool modelKnown = false;
  bool serialKnown = false;
  bool queueRegistered = false;           // a print queue for this printer exists or was created
  int32_t markerFlags = 0;                // marker flags of the current pass
  UsbDeviceRef service;                   // the printer on the bus; the record's identity for removal
  UsbBus* bus = nullptr;                  // the bus the printer is on (not owned)
  std::unique_ptr<UsbDevice> device;      // the opened printer, during a pass only
  const ModelProfile* profile = nullptr;  // the printer's model; null: the process's (GetModelProfile)
  bool leftAlone = false;                 // after the last pass nothing is asked (no marker kept, queue known)
};

extern std::vector<thdata*> thDevData;  // in order of registration
extern std::mutex m;                    // guards thDevData

// Waits and intervals of the daemon; the defaults are the production values.
// Set once, before the first device thread starts.
struct DaemonConfig {
  unsigned passIntervalMs = 1000;     // pause between two polling passes
  unsigned busyRetryMs = 100;         // pause after a pass that found the printer claimed by another process
  unsigned serialRetryMs = 1000;      // pause before the second serial-number read
  unsigned deviceIdTimeoutMs = 5000;  // GET_DEVICE_ID time-out
  unsigned busPollMs = 1000;          // longest wait for a bus change in the main loop (a change ends it early)
  // Pause after a pass that left the printer alone (no marker, queue known)
  // while the cache folder is watched: a change there ends it early.
  unsigned idlePassMs = 60000;
  // The queue step of a pass (PrintQueue.h); empty: no queue is registered.
  std::function<void(thdata*)> queueStep;
};

void SetDaemonConfig(const DaemonConfig& config);
const DaemonConfig& GetDaemonConfig();

// True when rec is in thDevData and no stop was requested. Takes m.
bool IsRecordRunning(thdata* rec);

// Waits up to ms or until rec's stop is requested; true when it was. Takes m
// (released while waiting). Blocks.
bool WaitForStop(thdata* rec, unsigned ms);

// Waits up to ms, until rec's stop is requested, or until the cache folder
// changed after the count since (GetCacheChanges, CacheWatch.h); true when
// the stop was requested. Takes m (released while waiting). Blocks.
bool WaitForStopOrChange(thdata* rec, unsigned ms, uint64_t since);

// Sets rec's stop request and wakes its thread if it is waiting. Takes m.
void RequestStop(thdata* rec);

#endif
