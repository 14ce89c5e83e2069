// The real tq58-printer-app as a server for one test: a free port on
// localhost, its spool, log, state and control socket in a temporary folder,
// an emulated bus of its own (no real USB printer is seen), and the IPP calls
// the tests make to it through the CUPS library.
#ifndef TQ58_TEST_APPSERVER_H
#define TQ58_TEST_APPSERVER_H

#include <cups/cups.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include <csignal>

#include "EmulatedBus.h"
#include "Process.h"
#include "TempRoot.h"

class AppServer {
public:
  AppServer();
  ~AppServer();
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // Starts the server and waits (up to 20 s) until it answers. Blocks.
  bool Start();
  // Sends sig and waits up to 10 s for the server's end. Its exit status,
  // -1 when it had to be killed. Blocks.
  int Stop(int sig = SIGTERM);
  // Runs a sub-command against the running server. Blocks.
  ProcessResult Run(const std::vector<std::string>& args) const;
  // Adds printer name on the emulated printer of that name. Blocks.
  bool AddPrinter(const std::string& name) const;

  std::string GetPrinterUri(const std::string& name) const;
  int GetPort() const { return port_; }
  EmulatedBus& GetBus() { return bus_; }
  const TempRoot& GetRoot() const { return root_; }
  std::string GetLog() const;
  std::vector<std::string> GetEnvironment() const;

  // IPP, each blocking on the server. Print-Job with a file (dpi: the
  // printer-resolution, 0 for the printer's choice); the job ID or 0.
  int PrintFile(const std::string& printer, const std::string& file, const std::string& format, int copies,
                const std::vector<std::pair<std::string, std::string>>& keywords = {}, int dpi = 0) const;
  ipp_jstate_t GetJobState(const std::string& printer, int jobId) const;
  bool CancelJob(const std::string& printer, int jobId) const;
  // Waits (up to ms) for the job to end; its last state.
  ipp_jstate_t WaitForJobEnd(const std::string& printer, int jobId, int ms) const;
  // Get-Printer-Attributes; free with ippDelete.
  ipp_t* GetPrinterAttributes(const std::string& printer) const;

private:
  TempRoot root_;
  EmulatedBus bus_;
  std::string state_;
  int port_ = 0;
  pid_t pid_ = -1;
};

// The values of attribute name in response, comma-separated ("" when absent).
std::string GetAttributeText(ipp_t* response, const char* name);

// Polls until done() is true or ms passed. Blocks.
bool WaitFor(int ms, const std::function<bool()>& done);

#endif
