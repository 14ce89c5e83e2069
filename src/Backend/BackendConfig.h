// The backend's waits and limits, and its cancel flag. The defaults are the
// production values; tests shorten them.
#ifndef TQ58_BACKENDCONFIG_H
#define TQ58_BACKENDCONFIG_H

#include <csignal>
#include <cstddef>

struct BackendConfig {
  unsigned attachWaitMs = 60000;      // printer not attached when the job starts
  unsigned reconnectWaitMs = 300000;  // printer lost while the job is sent
  unsigned claimWaitMs = 30000;       // interface claimed by another process (the daemon)
  unsigned claimRetryMs = 100;        // pause between two claims
  unsigned busPollMs = 1000;          // longest wait for a bus change while waiting for the printer
  unsigned writeTimeoutMs = 10000;    // one bulk write; a printer still busy after it is written to again
  unsigned listClaimWaitMs = 5000;    // claim wait of the device listing (lpinfo waits for it)
  // Between two prints, while a marker asks the status daemon for data: the
  // printer is left free this long, a few of the daemon's busy retries
  // (DaemonConfig::busyRetryMs), so that its pass gets in.
  unsigned yieldMs = 300;
  unsigned markerWaitMs = 2000;  // longest wait for the daemon to take up a marker that asks once
  unsigned markerPollMs = 20;    // how often that wait looks
  size_t maxResendBytes = size_t{256} << 20;  // largest print kept for sending again after a reconnect
};

// Set by the SIGTERM handler; read between packets and during waits.
inline bool IsCanceled(const volatile sig_atomic_t* cancel) { return cancel != nullptr && *cancel != 0; }

#endif
