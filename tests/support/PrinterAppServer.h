// How the tests start the printer application's server: its command line
// with every file in the test's state folder, and what its environment holds.
#ifndef TQ58_TEST_PRINTERAPPSERVER_H
#define TQ58_TEST_PRINTERAPPSERVER_H

#include <string>
#include <vector>

// "program server" on localhost:port, with its spool, log (at debug level)
// and state file in stateFolder.
inline std::vector<std::string> GetPrinterAppServerArgv(const std::string& program, int port,
                                                        const std::string& stateFolder)
{
  return {program, "server",
          "-o",    "server-port=" + std::to_string(port),
          "-o",    "listen-hostname=localhost",
          "-o",    "spool-directory=" + stateFolder + "/spool",
          "-o",    "log-file=" + stateFolder + "/app.log",
          "-o",    "log-level=debug",
          "-o",    "state-file=" + stateFolder + "/app.state"};
}

// The server's and the sub-commands' environment: the control socket and
// every default folder in stateFolder, fixed paths below root, and, in the
// sanitizer builds, the suppressions for what PAPPL's main loop keeps to the
// end (no leak of ours).
inline std::vector<std::string> GetPrinterAppEnvironment(const std::string& stateFolder, const std::string& root,
                                                         const std::string& lsanSuppressions)
{
  return {"SNAP_COMMON=" + stateFolder, "HOME=" + stateFolder,
          "TMPDIR=" + stateFolder,      "XDG_CONFIG_HOME=" + stateFolder,
          "TQ58_ROOT=" + root,          "LSAN_OPTIONS=suppressions=" + lsanSuppressions + ":fast_unwind_on_malloc=0"};
}

#endif
