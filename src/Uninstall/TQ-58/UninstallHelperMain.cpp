// UninstallHelperTQ58: run as root through pkexec. Reads one request on
// standard input, removes the driver, writes the reply on standard output and
// exits 0. Input that is not a well-formed request is never answered and
// removes nothing (exit 1).
#include <signal.h>
#include <unistd.h>

#include "DaemonStop.h"
#include "HelperMessage.h"
#include "UninstallSteps.h"

int main()
{
  // An uninstaller that went away must not cut the helper short.
  signal(SIGPIPE, SIG_IGN);
  HelperMessage request;
  if (!ReadHelperMessage(STDIN_FILENO, &request)) return 1;
  // The request's contents are not looked at: any well-formed one asks for the removal.
  const bool ok = RunUninstall(&StopDaemonService);
  WriteHelperMessage(STDOUT_FILENO, MakeHelperReply(ok));
  return 0;
}
