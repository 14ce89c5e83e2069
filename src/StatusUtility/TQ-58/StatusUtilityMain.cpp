// StatusUtilityTQ-58: opens the status window for a print queue.
// Usage: StatusUtilityTQ-58 QUEUE     (the queue's name)
//        StatusUtilityTQ-58 --first   (the first TQ-58 queue, for the desktop menu)
// Exits at once, quietly, whatever happens; the window runs on its own.
#include <unistd.h>

#include <climits>
#include <cstring>

#include "CupsPrinterList.h"
#include "StatusLauncher.h"

namespace {

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
  if (argc < 2) return 0;
  LauncherContext context;
  context.queueName = std::strcmp(argv[1], "--first") == 0 ? FindFirstTQ58Queue() : argv[1];
  context.statusInfoPath = GetStatusInfoPath(SelfPath(argv[0]));
  CupsPrinterList printers;
  context.printers = &printers;
  context.start = StartDetached;
  LaunchStatusWindow(context);
  return 0;
}
