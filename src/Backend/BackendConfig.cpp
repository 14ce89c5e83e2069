#include "BackendConfig.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr unsigned long kLongestWaitMs = 600000;

struct WaitName {
  const char* name;
  unsigned BackendConfig::*field;
};

constexpr WaitName kWaits[] = {
    {"status-poll-ms", &BackendConfig::statusPollMs},
    {"bus-poll-ms", &BackendConfig::busPollMs},
    {"claim-retry-ms", &BackendConfig::claimRetryMs},
    {"yield-ms", &BackendConfig::yieldMs},
};

// One "name=milliseconds" item; false when it sets nothing.
bool SetWait(const std::string& item, BackendConfig* config)
{
  const size_t equals = item.find('=');
  if (equals == std::string::npos) return false;
  const std::string name = item.substr(0, equals), value = item.substr(equals + 1);
  if (value.empty() || value.size() > 6 || value.find_first_not_of("0123456789") != std::string::npos) return false;
  const unsigned long ms = std::stoul(value);
  if (ms < 1 || ms > kLongestWaitMs) return false;
  for (const WaitName& wait : kWaits) {
    if (name != wait.name) continue;
    config->*wait.field = static_cast<unsigned>(ms);
    return true;
  }
  return false;
}

}  // namespace

int SetBackendWaits(const char* text, BackendConfig* config)
{
  if (text == nullptr || config == nullptr) return 0;
  int set = 0;
  const std::string all = text;
  for (size_t at = 0; at < all.size();) {
    const size_t end = std::min(all.find_first_of(" ,", at), all.size());
    if (end > at && SetWait(all.substr(at, end - at), config)) ++set;
    at = end + 1;
  }
  return set;
}

void PauseUnlessCanceled(unsigned ms, const volatile sig_atomic_t* cancel)
{
  constexpr unsigned kStepMs = 50;
  for (unsigned slept = 0; slept < ms && !IsCanceled(cancel); slept += kStepMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kStepMs, ms - slept)));
  }
}
