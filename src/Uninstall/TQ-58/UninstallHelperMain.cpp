// UninstallHelperTQ58: run as root through pkexec. Reads one request on
// standard input, removes the driver (through dpkg when it came from the
// Debian packages, else file by file; nothing when dpkg is there but cannot
// be asked), writes the reply on standard output and exits 0. Input that is
// not a well-formed request is never answered and removes nothing (exit 1).
// It takes no arguments: --help and --version answer without reading a
// request.
#include <signal.h>
#include <unistd.h>

#include "DaemonStop.h"
#include "HelperMessage.h"
#include "PackageRemoval.h"
#include "StandardOptions.h"
#include "UninstallSteps.h"

namespace {

const char* const kHelp =
    "Usage: UninstallHelperTQ58 < REQUEST\n"
    "\n"
    "The TQ-58 driver's removal helper, run as root through pkexec by\n"
    "UninstallTQ58: reads one removal request on standard input, removes the\n"
    "driver and writes the reply on standard output. Not for use by hand.\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"UninstallHelperTQ58", kHelp, {}, 0, 0};
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, nullptr);
  if (handled != kTQ58RunProgram) return handled;
  // An uninstaller that went away must not cut the helper short.
  signal(SIGPIPE, SIG_IGN);
  HelperMessage request;
  if (!ReadHelperMessage(STDIN_FILENO, &request)) return 1;
  // The request's contents are not looked at: any well-formed one asks for the removal.
  // dpkg keeps its database true and stops the daemon from the package's prerm.
  // When dpkg cannot be asked, the files may be its own: nothing is removed.
  const PackageStates packages = GetPackageStates();
  bool ok = false;
  if (packages.isKnown) ok = IsDriverPackaged(packages) ? RemovePackages(packages) : RunUninstall(&StopDaemonService);
  WriteHelperMessage(STDOUT_FILENO, MakeHelperReply(ok));
  return 0;
}
