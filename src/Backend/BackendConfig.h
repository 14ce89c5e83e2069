// The backend's waits and limits, and its cancel flag. The defaults are the
// production values; tests shorten them, in the program through the
// environment variable TQ58_BACKEND_WAITS (SetBackendWaits).
#ifndef TQ58_BACKENDCONFIG_H
#define TQ58_BACKENDCONFIG_H

#include <csignal>
#include <cstddef>

struct BackendConfig {
  unsigned claimWaitMs = 30000;  // interface claimed by another process (the daemon)
  unsigned claimRetryMs = 100;   // pause between two claims
  unsigned busPollMs = 1000;     // longest wait for a bus change while waiting for the printer
  // While the printer cannot print (out of media, cover open, an error) it is
  // asked again this often; while the job waits for it (for that, or for the
  // printer to be plugged in) the waiting message is sent again this often,
  // so that no other message stays in its place.
  unsigned statusPollMs = 3000;
  unsigned writeTimeoutMs = 10000;  // one bulk write; a printer still busy after it is written to again
  unsigned listClaimWaitMs = 5000;  // claim wait of the device listing (lpinfo waits for it)
  // Between two prints, while a marker asks the status daemon for data: the
  // printer is left free this long, a few of the daemon's busy retries
  // (DaemonConfig::busyRetryMs), so that its pass gets in.
  unsigned yieldMs = 300;
  unsigned markerWaitMs = 2000;               // longest wait for the daemon to take up a marker that asks once
  unsigned markerPollMs = 20;                 // how often that wait looks
  size_t maxResendBytes = size_t{256} << 20;  // largest print kept for sending again after a reconnect
};

// The environment variable whose text SetBackendWaits reads in the program.
inline constexpr char kBackendWaitsVariable[] = "TQ58_BACKEND_WAITS";

// Sets the waits named in text, a list of "name=milliseconds" separated by
// spaces or commas: "status-poll-ms", "bus-poll-ms", "claim-retry-ms",
// "yield-ms". A value outside 1 to 600000, an unknown name or a malformed
// item is left out. Returns how many waits were set. Does not block.
int SetBackendWaits(const char* text, BackendConfig* config);

// Set by the SIGTERM handler; read between packets and during waits.
inline bool IsCanceled(const volatile sig_atomic_t* cancel)
{
  return cancel != nullptr && *cancel != 0;
}

// Sleeps ms, or less when the job is cancelled meanwhile. Blocks.
void PauseUnlessCanceled(unsigned ms, const volatile sig_atomic_t* cancel);

#endif
