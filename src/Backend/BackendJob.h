// One print job of the backend: the job's arguments, then the job itself —
// find the printer named by the device URI, write the job information file,
// send the filter's stream, remove the file — and the exit code for CUPS.
//
// The printer is claimed for one print at a time and left free between
// prints and while the job waits, so that the status daemon's passes get it
// (StreamSender.h). Before each print the printer is read and the scheduler
// told its state (PrinterReport.h); a printer that cannot print is waited
// for (PrintClaim.h). A printer that is not attached, or goes away while the
// job is sent, is waited for as long as the job is not cancelled; the print
// under way is then sent again whole, a print the printer took never again.
// A job that cannot go on says how many prints were made and ends with
// CUPS_BACKEND_CANCEL: the scheduler neither stops the queue nor prints the
// job again from its start.
#ifndef TQ58_BACKENDJOB_H
#define TQ58_BACKENDJOB_H

#include <string>

#include "BackendConfig.h"
#include "BackendLog.h"
#include "UsbTransport.h"

struct BackendJob {
  std::string jobId;
  std::string deviceUri;
  int copies = 1;         // copies of a job file; the filter's stream carries its own
  int inputFd = 0;        // the filter's output (standard input) or the job file
  bool fromFile = false;  // inputFd was opened from argument 6
};

// The job of a backend command line (argv[0] to argv[5] or argv[6]) with the
// device URI deviceUri (cupsBackendDeviceURI). Opens the file of argument 6.
// Returns CUPS_BACKEND_OK, or CUPS_BACKEND_CANCEL after an ERROR line: wrong
// argument count, a job ID that is not one, no device URI, or a file that
// cannot be opened. Blocks on the file system only.
int ParseBackendJob(int argc, char** argv, const char* deviceUri, const BackendLog& log, BackendJob* job);

// The serial text of a device URI: everything after its first "serial=";
// empty when there is none or it could not name the printer's files.
std::string GetUriSerialText(const std::string& deviceUri);

// Runs job on bus to its end and returns the backend's exit code:
// CUPS_BACKEND_OK when the stream went out whole, CUPS_BACKEND_CANCEL when
// the job was cancelled, the URI names no printer, the input could not be
// read or a print too large to keep was cut off by an unplug. The job
// information file is gone again whatever the outcome. Blocks for the life
// of the job.
int RunBackendJob(UsbBus* bus, const BackendJob& job, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                  const BackendLog& log);

#endif
