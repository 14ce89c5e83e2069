// The uninstaller application: shows the window, runs the request on a
// worker thread while the window keeps drawing, and shows the outcome.
#ifndef TQ58_UNINSTALL_APPDELEGATE_H
#define TQ58_UNINSTALL_APPDELEGATE_H

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "UninstallModel.h"

class UninstallWindow;

class AppDelegate : public QObject {
public:
  // request runs the removal (requestUnInstall in the program) and returns
  // one of HelperClient.h's outcomes; it runs on the worker thread. Needs a QApplication.
  explicit AppDelegate(std::function<int32_t()> request);
  // Waits for a request still in flight: the helper is never left without its reader.
  ~AppDelegate() override;

  // Builds and shows the window with "FIRST_MSG".
  void applicationDidFinishLaunching();
  // The uninstall button: shows "EXEC_MSG" and the running indicator, then
  // starts the request after the request delay.
  void uninstall();
  // The cancel button: ends the application.
  void cancel();
  // Starts the request on the worker thread; its end is handled on the main thread.
  void callUninstall();

  UninstallWindow* GetWindow() const { return window.get(); }
  const UninstallModel& GetModel() const { return model_; }
  bool IsTerminateRequested() const { return terminateRequested_; }
  // The pause between the button and the request (500 ms unless replaced),
  // so that the new label is on screen before the password dialog.
  void SetRequestDelay(int milliseconds) { requestDelay_ = milliseconds; }

private:
  void FinishUninstall();
  void ShowModel();
  void RequestTerminate();

  std::function<int32_t()> request_;
  UninstallModel model_;
  std::thread worker_;
  int requestDelay_ = 500;
  bool terminateRequested_ = false;
  std::unique_ptr<UninstallWindow> window;
};

#endif
