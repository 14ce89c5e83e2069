#include "BackendJob.h"

#include <cups/backend.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "JobInfoFile.h"
#include "PhotoPrinterIF.h"
#include "PrinterInfoFile.h"
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

// The sender's claim of the printer for each print, the status daemon's turn
// first. A wait of more than one claim attempt is logged for debugging.
StreamSender::Claim ClaimForEachPrint(UsbBus* bus, const std::string& serial, const BackendConfig& config,
                                      const volatile sig_atomic_t* cancel, const BackendLog& log)
{
  auto patient = std::make_shared<bool>(true);
  return [bus, serial, &config, cancel, &log, patient](PrinterHandle* printer) {
    const auto start = std::chrono::steady_clock::now();
    LeaveTurnToDaemon(serial, config, cancel, patient.get());
    const UsbStatus status = ClaimPrinter(bus, config, cancel, printer);
    const long long waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    if (waited >= config.claimRetryMs) {
      log.Debug("Waited " + std::to_string(waited) + " ms for the printer between prints (the status daemon's turn).");
    }
    return status;
  };
}

int ExitCode(Sent sent, int printsSent, const BackendLog& log)
{
  switch (sent) {
  case Sent::kOk:
    log.Info("Sent " + std::to_string(printsSent) + " print(s) to the printer.");
    return CUPS_BACKEND_OK;
  case Sent::kLost:
    log.Error("The printer was disconnected and did not come back; the job will be tried again later.");
    return CUPS_BACKEND_RETRY;
  case Sent::kCanceled:
    log.Info("The job was cancelled.");
    return CUPS_BACKEND_FAILED;
  default: return CUPS_BACKEND_FAILED;
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
    return CUPS_BACKEND_FAILED;
  }
  if (!IsJobId(argv[1])) {
    log.Error(std::string("Not a job ID: ") + argv[1]);
    return CUPS_BACKEND_FAILED;
  }
  if (deviceUri == nullptr || deviceUri[0] == '\0') {
    log.Error("No device URI.");
    return CUPS_BACKEND_FAILED;
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
      return CUPS_BACKEND_FAILED;
    }
  }
  return CUPS_BACKEND_OK;
}

int RunBackendJob(UsbBus* bus, const BackendJob& job, const BackendConfig& config,
                  const volatile sig_atomic_t* cancel, const BackendLog& log)
{
  const std::string serial = GetUriSerialText(job.deviceUri);
  if (serial.empty()) {
    log.Error("The device URI " + job.deviceUri + " names no printer serial number.");
    return CUPS_BACKEND_FAILED;
  }
  JobInfoFileGuard guard(job.jobId);
  // At once from the daemon's file, so the filter finds it at its first look.
  const std::string known = ReadInfoFileMediaClass(serial);
  const bool written = !known.empty() && WriteJobInfoFile(job.jobId.c_str(), known) == 0;

  log.State("+connecting-to-device");
  PrinterHandle printer;
  const PrinterWait found = WaitForPrinter(bus, serial, config.attachWaitMs, config, cancel, log, &printer);
  log.State("-connecting-to-device");
  if (found != PrinterWait::kFound) {
    log.State("-offline-report");
    if (found == PrinterWait::kCanceled) return ExitCode(Sent::kCanceled, 0, log);
    log.Error("The TQ-58 printer with serial " + serial + " is not connected; the job will be tried again later.");
    return CUPS_BACKEND_RETRY;
  }
  if (!written) WriteMediaClassFromPrinter(&printer, job.jobId, log);
  // Free until the first print's bytes come: the filter may take a while.
  printer.Release();

  log.Info("Printing on the TQ-58 printer with serial " + serial + ".");
  const auto reconnect = [&](PrinterHandle* p) {
    p->Close();
    const bool back = WaitForPrinter(bus, serial, config.reconnectWaitMs, config, cancel, log, p) == PrinterWait::kFound;
    if (!back) log.State("-offline-report");
    return back;
  };
  StreamSender sender(&printer, reconnect, config, cancel, ClaimForEachPrint(bus, serial, config, cancel, log));
  const Sent sent = SendJob(&sender, job, cancel, log);
  return ExitCode(sent, sender.GetPrintsSent(), log);
}
