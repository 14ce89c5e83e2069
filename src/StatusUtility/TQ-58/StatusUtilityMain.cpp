// StatusUtilityTQ-58: opens the status window for a print queue.
// Usage: StatusUtilityTQ-58 [--] QUEUE  (the queue's name)
//        StatusUtilityTQ-58 --first     (the first TQ-58 queue, for the desktop menu)
// Exits at once, quietly, once it has looked for the queue; the window runs
// on its own. A wrong command line is reported before anything is looked up.
#include <unistd.h>

#include <climits>

#include "CupsPrinterList.h"
#include "ProfileTQ58.h"
#include "StandardOptions.h"
#include "StatusLauncher.h"

namespace {

const char* const kHelp =
    "Usage: StatusUtilityTQ-58 [--] QUEUE\n"
    "       StatusUtilityTQ-58 --first\n"
    "\n"
    "Opens the status window of the TQ-58 printer behind the CUPS print queue\n"
    "QUEUE, unless that printer's window is already open, and exits at once.\n"
    "A queue that is not a TQ-58 queue of the driver's backend opens nothing.\n"
    "Put \"--\" before a QUEUE that begins with \"-\".\n"
    "\n"
    "Options:\n"
    "  --first      the first TQ-58 queue instead of QUEUE\n";

std::string SelfPath(const char* argv0)
{
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return argv0;
  path[n] = '\0';
  return path;
}

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"StatusUtilityTQ-58", kHelp, {{"--first", 0}}, 0, 1};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  SetModelProfile(&GetProfileTQ58());
  const bool first = command.IsOptionGiven("--first");
  if (first == !command.operands.empty()) return TQ58_UsageError(usage, "give either a QUEUE or --first");
  LauncherContext context;
  context.queueName = first ? FindFirstTQ58Queue() : command.operands[0];
  context.statusInfoPath = GetStatusInfoPath(SelfPath(argv[0]));
  CupsPrinterList printers;
  context.printers = &printers;
  context.start = StartDetached;
  LaunchStatusWindow(context);
  return 0;
}
