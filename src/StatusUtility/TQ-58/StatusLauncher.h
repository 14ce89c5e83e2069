// The status utility launcher's logic: find the queue it was opened for,
// check that it is a TQ-58 queue of our backend, take the serial text from its
// device URI, look up the printer's name, and start the status window for it
// unless one is already open. Windowless; the process only wires this up.
#ifndef TQ58_STATUSLAUNCHER_H
#define TQ58_STATUSLAUNCHER_H

#include <cups/cups.h>

#include <functional>
#include <string>
#include <vector>

#include "PrinterList.h"

struct LauncherContext {
  std::string queueName;       // the queue the launcher was opened for
  std::string statusInfoPath;  // the status window's executable
  PrinterListSource* printers = nullptr;
  // Starts a program without waiting for it; false when it cannot be started.
  std::function<bool(const std::string& path, const std::vector<std::string>& args)> start;
  bool examined = false;  // a destination of that name was examined
  bool started = false;   // the status window was started
};

// cupsEnumDests callback; userData is a LauncherContext. 1 to go on, 0 to stop.
int enum_cb(void* userData, unsigned flags, cups_dest_t* dest);

// Runs the enumeration for context.queueName (every destination, no time-out).
// Blocks on the scheduler.
void LaunchStatusWindow(LauncherContext& context);

// The first destination whose device URI names this model, maker and backend
// with a serial text; empty when there is none. Blocks on the scheduler.
std::string FindFirstTQ58Queue();

// The status window's executable for a launcher at launcherPath: inside the
// installed bundle layout (<bundle>/Contents/Resources/StatusInfoTQ-58.app/...)
// when present there, else beside the launcher (a build tree).
std::string GetStatusInfoPath(const std::string& launcherPath);

// Starts path with args (argument vector, no shell), environment and working
// folder inherited, without waiting: in a new session, standard input, output
// and error on /dev/null. False when it cannot be started. Does not block.
bool StartDetached(const std::string& path, const std::vector<std::string>& args);

#endif
