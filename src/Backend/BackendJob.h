// One print job of the backend: the job's arguments, then the job itself —
// find the printer named by the device URI, write the job information file,
// send the filter's stream, remove the file — and the exit code for CUPS.
//
// The printer is claimed for one print at a time and left free between
// prints and while the job waits, so that the status daemon's passes get it
// (StreamSender.h). A printer that is not attached is waited for
// (config.attachWaitMs); one that goes away while the job is sent is waited
// for again (config.reconnectWaitMs) and the print under way is sent again whole. When
// a wait runs out the job ends with CUPS_BACKEND_RETRY, so the scheduler
// holds it and tries again later.
#ifndef TQ58_BACKENDJOB_H
#define TQ58_BACKENDJOB_H

#include <string>

#include "BackendConfig.h"
#include "BackendLog.h"
#include "UsbTransport.h"

struct BackendJob {
  std::string jobId;
  std::string deviceUri;
  int copies = 1;        // copies of a job file; the filter's stream carries its own
  int inputFd = 0;       // the filter's output (standard input) or the job file
  bool fromFile = false;  // inputFd was opened from argument 6
};

// The job of a backend command line (argv[0] to argv[5] or argv[6]) with the
// device URI deviceUri (cupsBackendDeviceURI). Opens the file of argument 6.
// Returns CUPS_BACKEND_OK, or CUPS_BACKEND_FAILED after an ERROR line: wrong
// argument count, a job ID that is not one, no device URI, or a file that
// cannot be opened. Blocks on the file system only.
int ParseBackendJob(int argc, char** argv, const char* deviceUri, const BackendLog& log, BackendJob* job);

// The serial text of a device URI: everything after its first "serial=";
// empty when there is none or it could not name the printer's files.
std::string GetUriSerialText(const std::string& deviceUri);

// Runs job on bus to its end and returns the backend's exit code:
// CUPS_BACKEND_OK when the stream went out whole, CUPS_BACKEND_RETRY when the
// printer was not there or did not come back, CUPS_BACKEND_FAILED when the
// job was cancelled, the URI names no printer or the input could not be read.
// The job information file is gone again whatever the outcome. Blocks for the
// life of the job.
int RunBackendJob(UsbBus* bus, const BackendJob& job, const BackendConfig& config,
                  const volatile sig_atomic_t* cancel, const BackendLog& log);

#endif
