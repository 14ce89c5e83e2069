#include "BackendJob.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "JobInfoFile.h"
#include "ModelProfile.h"
#include "PhotoPrinterIF.h"
#include "PrinterInfoFile.h"
#include "PrintClaim.h"
#include "PrinterLink.h"
#include "SerialText.h"
#include "StreamSender.h"

namespace {

constexpr char kSerialKey[] = "serial=";
constexpr size_t kReadChunk = 65536;

// Removes the job information file when the job ends, however it ends.
class JobInfoFileGuard {
public:
  explicit JobInfoFileGuard(std::string jobId) : jobId_(std::move(jobId)) {}
  ~JobInfoFileGuard() { RemoveJobInfoFile(jobId_.c_str()); }
  JobInfoFileGuard(const JobInfoFileGuard&) = delete;
  JobInfoFileGuard& operator=(const JobInfoFileGuard&) = delete;

private:
  std::string jobId_;
};

// The job information file from the printer's own answer (empty when it has
// none: the filter then takes its default profile).
void WriteMediaClassFromPrinter(PrinterHandle* printer, const std::string& jobId, const BackendLog& log)
{
  char mediaClass[kMediaClassSize] = {};
  if (GetMediaClass(printer->intf.get(), mediaClass, sizeof mediaClass) < 0) mediaClass[0] = '\0';
  if (WriteJobInfoFile(jobId.c_str(), mediaClass) != 0) log.Warning("Cannot write the job information file.");
}

enum class Sent { kOk, kLost, kCanceled, kReadError };

Sent FromResult(StreamSender::Result result)
{
  switch (result) {
  case StreamSender::Result::kOk: return Sent::kOk;
  case StreamSender::Result::kLost: return Sent::kLost;
  default: return Sent::kCanceled;
  }
}

// Copies the input to the printer until its end. Blocks.
Sent SendInput(StreamSender* sender, int fd, const volatile sig_atomic_t* cancel, const BackendLog& log)
{
  std::vector<unsigned char> buffer(kReadChunk);
  for (;;) {
    if (IsCanceled(cancel)) return Sent::kCanceled;
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n == 0) return Sent::kOk;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      log.Error(std::string("Cannot read the print data: ") + std::strerror(errno));
      return Sent::kReadError;
    }
    const Sent sent = FromResult(sender->Send(buffer.data(), static_cast<size_t>(n)));
    if (sent != Sent::kOk) return sent;
  }
}

// Every copy of the job: a job file is sent copies times, the filter's stream once.
Sent SendJob(StreamSender* sender, const BackendJob& job, const volatile sig_atomic_t* cancel, const BackendLog& log)
{
  const int copies = job.fromFile ? std::max(job.copies, 1) : 1;
  for (int c = 0; c < copies; ++c) {
    if (c > 0) {
      if (lseek(job.inputFd, 0, SEEK_SET) != 0) break;
      sender->StartStream();
    }
    const Sent sent = SendInput(sender, job.inputFd, cancel, log);
    if (sent != Sent::kOk) return sent;
  }
  return Sent::kOk;
}

// The exit code for how the job ended, after a line that says so with the
// prints made: a job that cannot go on is cancelled (CUPS_BACKEND_CANCEL),
// never left to the error policy, which would stop the queue and print the
// whole job again later.
int ExitCode(Sent sent, int printsMade, const BackendLog& log)
{
  const std::string made = std::to_string(printsMade) + " print(s) were made.";
  switch (sent) {
  case Sent::kOk: log.Info("Sent " + std::to_string(printsMade) + " print(s) to the printer."); return CUPS_BACKEND_OK;
  case Sent::kLost:
    log.Error("The printer was disconnected during a print too large to send again; the job ends. " + made);
    return CUPS_BACKEND_CANCEL;
  case Sent::kCanceled: log.Info("The job was cancelled; " + made); return CUPS_BACKEND_CANCEL;
  default: log.Error("The job ends. " + made); return CUPS_BACKEND_CANCEL;
  }
}

}  // namespace

std::string GetUriSerialText(const std::string& deviceUri)
{
  const size_t at = deviceUri.find(kSerialKey);
  if (at == std::string::npos) return std::string();
  const std::string serial = deviceUri.substr(at + std::strlen(kSerialKey));
  if (serial.empty() || serial.size() >= kSerialTextSize || !IsSafeSerialText(serial.c_str())) return std::string();
  return serial;
}

int ParseBackendJob(int argc, char** argv, const char* deviceUri, const BackendLog& log, BackendJob* job)
{
  if ((argc != 6 && argc != 7) || argv == nullptr || job == nullptr) {
    log.Error("Usage: fyxbackend job-id user title copies options [file]");
    return CUPS_BACKEND_CANCEL;
  }
  if (!IsJobId(argv[1])) {
    log.Error(std::string("Not a job ID: ") + argv[1]);
    return CUPS_BACKEND_CANCEL;
  }
  if (deviceUri == nullptr || deviceUri[0] == '\0') {
    log.Error("No device URI.");
    return CUPS_BACKEND_CANCEL;
  }
  job->jobId = argv[1];
  job->deviceUri = deviceUri;
  job->copies = std::max(std::atoi(argv[4]), 1);
  job->inputFd = 0;
  job->fromFile = argc == 7;
  if (job->fromFile) {
    job->inputFd = open(argv[6], O_RDONLY | O_CLOEXEC);
    if (job->inputFd < 0) {
      log.Error(std::string("Cannot open the print file: ") + std::strerror(errno));
      return CUPS_BACKEND_CANCEL;
    }
  }
  return CUPS_BACKEND_OK;
}

int RunBackendJob(UsbBus* bus, const BackendJob& job, const BackendConfig& config, const volatile sig_atomic_t* cancel,
                  const BackendLog& log)
{
  const std::string serial = GetUriSerialText(job.deviceUri);
  if (serial.empty()) {
    log.Error("The device URI " + job.deviceUri + " names no printer serial number; no print was made.");
    return CUPS_BACKEND_CANCEL;
  }
  JobInfoFileGuard guard(job.jobId);
  // At once from the daemon's file, so the filter finds it at its first look.
  const std::string known = ReadInfoFileMediaClass(serial);
  const bool written = !known.empty() && WriteJobInfoFile(job.jobId.c_str(), known) == 0;

  PrinterReport report(log);
  log.State("+connecting-to-device");
  PrinterHandle printer;
  const PrinterWait found = WaitForPrinter(bus, serial, config, cancel, &report, &printer);
  log.State("-connecting-to-device");
  if (found != PrinterWait::kFound) return ExitCode(Sent::kCanceled, 0, log);
  if (!written) WriteMediaClassFromPrinter(&printer, job.jobId, log);
  // The printer's state at once, while the filter works on the first print.
  const PrinterReading reading = ReadPrinter(printer.intf.get());
  report.SetReading(reading);
  // Free until the first print's bytes come: the filter may take a while.
  printer.Release();
  if (IsReadyToPrint(reading.status)) {
    report.Say("Printing on the " + std::string(GetModelTag()) + " printer with serial " + serial + ".");
  } else {
    report.Say(GetStatusText(reading.status) + " The job goes on once that is done.");
  }

  // A printer back after a reconnect is left free: the next claim reads it first.
  const auto reconnect = [&](PrinterHandle* p) {
    p->Close();
    if (WaitForPrinter(bus, serial, config, cancel, &report, p) != PrinterWait::kFound) return false;
    p->Release();
    return true;
  };
  PrintClaim claim(bus, serial, config, cancel, &report, log);
  const auto taken = [&](int prints, int status) {
    report.SetPrintsMade(prints);
    if (status != kStatusFailed) report.SetStatus(status);
  };
  StreamSender sender(
      &printer, reconnect, config, cancel, [&](PrinterHandle* p) { return claim.ClaimWhenReady(p); }, taken);
  const Sent sent = SendJob(&sender, job, cancel, log);
  return ExitCode(sent, sender.GetPrintsSent(), log);
}
