// UninstallTQ58: asks for confirmation, runs the root helper through pkexec
// (TQ58_ELEVATE names a stand-in) and shows the outcome. A second instance
// for the same user ends at once. It takes no arguments; the command line is
// read before Qt starts, so --help needs no display.
#include <signal.h>

#include <QApplication>
#include <QLocale>

#include "AppDelegate.h"
#include "HelperClient.h"
#include "SingleInstance.h"
#include "StandardOptions.h"
#include "UninstallTranslations.h"

namespace {

const char* const kHelp =
    "Usage: UninstallTQ58\n"
    "\n"
    "Removes the TQ-58 printer driver from this system: asks for confirmation,\n"
    "then runs the driver's removal helper as root through pkexec (TQ58_ELEVATE\n"
    "names another program for that) and shows the outcome in its window.\n";

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"UninstallTQ58", kHelp, {}, 0, 0};
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, nullptr);
  if (handled != kTQ58RunProgram) return handled;
  SingleInstance instance;
  if (!instance.TryAcquire()) return 0;
  // A helper that exits before reading the request must not end the application.
  signal(SIGPIPE, SIG_IGN);
  QApplication app(argc, argv);
  InstallUninstallTranslations(QLocale::system());
  AppDelegate delegate(&requestUnInstall);
  delegate.applicationDidFinishLaunching();
  return app.exec();
}
