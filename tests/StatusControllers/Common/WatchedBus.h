// Settings shared by the tests that run the device-discovery loop on a thread
// against an emulated bus: short time-outs and pauses, so that a silent or
// vanished printer ends a pass in a fraction of a second.
#ifndef TQ58_TEST_WATCHEDBUS_H
#define TQ58_TEST_WATCHEDBUS_H

#include "DeviceThreads.h"
#include "UsbEmulated.h"

inline EmulatedBusOptions FastBusOptions()
{
  EmulatedBusOptions options;
  options.maxTimeoutMs = 200;
  options.rescanMs = 10;
  return options;
}

// The daemon's settings with short pauses; queueStep marks the queue as made.
inline DaemonConfig FastDaemonConfig()
{
  DaemonConfig config;
  config.passIntervalMs = 50;
  config.busPollMs = 50;
  config.deviceIdTimeoutMs = 200;
  config.queueStep = [](thdata* rec) { rec->queueRegistered = true; };
  return config;
}

#endif
