// UninstallTQ58: asks for confirmation, runs the root helper through pkexec
// (TQ58_ELEVATE names a stand-in) and shows the outcome. A second instance
// for the same user ends at once.
#include <signal.h>

#include <QApplication>
#include <QLocale>

#include "AppDelegate.h"
#include "HelperClient.h"
#include "SingleInstance.h"
#include "UninstallTranslations.h"

int main(int argc, char** argv)
{
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
