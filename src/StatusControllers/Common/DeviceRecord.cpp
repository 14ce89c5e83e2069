#include "DeviceRecord.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

std::vector<thdata*> thDevData;
std::mutex m;

namespace {

DaemonConfig gConfig;
std::condition_variable gStopWake;  // waited on with m
uint64_t gCacheChanges = 0;         // guarded by m

}  // namespace

void SetDaemonConfig(const DaemonConfig& config)
{
  gConfig = config;
}

const DaemonConfig& GetDaemonConfig()
{
  return gConfig;
}

bool IsRecordRunning(thdata* rec)
{
  std::lock_guard<std::mutex> lock(m);
  return std::find(thDevData.begin(), thDevData.end(), rec) != thDevData.end() && !rec->stopRequest;
}

bool WaitForStop(thdata* rec, unsigned ms)
{
  std::unique_lock<std::mutex> lock(m);
  return gStopWake.wait_for(lock, std::chrono::milliseconds(ms), [rec] { return rec->stopRequest.load(); });
}

bool WaitForStopOrChange(thdata* rec, unsigned ms, uint64_t since)
{
  std::unique_lock<std::mutex> lock(m);
  gStopWake.wait_for(lock, std::chrono::milliseconds(ms),
                     [rec, since] { return rec->stopRequest.load() || gCacheChanges != since; });
  return rec->stopRequest;
}

uint64_t GetCacheChanges()
{
  std::lock_guard<std::mutex> lock(m);
  return gCacheChanges;
}

void NotifyCacheChange()
{
  {
    std::lock_guard<std::mutex> lock(m);
    ++gCacheChanges;
  }
  gStopWake.notify_all();
}

void RequestStop(thdata* rec)
{
  {
    // Set under m so that a thread between its check and its wait cannot miss it.
    std::lock_guard<std::mutex> lock(m);
    rec->stopRequest = true;
  }
  gStopWake.notify_all();
}
