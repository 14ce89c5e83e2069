// StatusInfoTQ-58 [--] SERIAL-TEXT [PRINTER-NAME]
// Shows one printer's state from its information file in the cache folder.
// The command line is read before Qt starts, so --help needs no display.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "AppDelegate.h"
#include "CupsPrinterList.h"
#include "ProfileTQ58.h"
#include "StandardOptions.h"
#include "StatusMarkers.h"
#include "StatusTranslations.h"

namespace {

const char* const kHelp =
    "Usage: StatusInfoTQ-58 [--] SERIAL-TEXT [PRINTER-NAME]\n"
    "\n"
    "Shows the state of one TQ-58 printer in a window: status, message, media,\n"
    "prints left, total count, serial number and firmware, from the information\n"
    "file that the status daemon keeps in the cache folder. SERIAL-TEXT is the\n"
    "printer's serial number with every space written as %20 (as in the queue's\n"
    "device URI); PRINTER-NAME, when given, is the window's title. Put \"--\"\n"
    "before a SERIAL-TEXT that begins with \"-\".\n";

int g_signalPipe[2] = {-1, -1};

void OnQuitSignal(int)
{
  const char byte = 1;
  const ssize_t written = write(g_signalPipe[1], &byte, 1);
  (void)written;
}

// SIGTERM, SIGINT and SIGHUP quit through the event loop like the window's
// close box, so the "_UTIL" marker does not outlive the window.
void QuitOnSignals(QApplication* app)
{
  if (pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, app);
  QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
    char byte;
    while (read(g_signalPipe[0], &byte, 1) > 0) {}
    QCoreApplication::quit();
  });
  struct sigaction action = {};
  action.sa_handler = OnQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
  const ProgramUsage usage{"StatusInfoTQ-58", kHelp, {}, 1, 2};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  SetModelProfile(&GetProfileTQ58());
  const std::string serialNo = command.operands[0];
  if (const char* problem = GetSerialTextProblem(serialNo)) {
    std::fprintf(stderr, "StatusInfoTQ-58: %s; the window does not start\n", problem);
    return kTQ58UsageExit;
  }
  // The delegate reads the program name, the serial text and the printer name;
  // Qt sees only the program name, so that no serial text or printer name is
  // ever taken for one of its own options.
  std::vector<std::string> arguments = {argv[0]};
  arguments.insert(arguments.end(), command.operands.begin(), command.operands.end());
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication app(qtArgc, qtArgv);
  // Created once Qt is up: a start that fails for want of a display leaves no marker behind.
  CreateMarker(serialNo, StatusMarker::kUtil);
  InstallStatusTranslations(QLocale::system());
  QuitOnSignals(&app);

  AppDelegate delegate(std::move(arguments), std::make_unique<CupsPrinterList>());
  delegate.applicationWillFinishLaunching();
  QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
  return app.exec();
}
