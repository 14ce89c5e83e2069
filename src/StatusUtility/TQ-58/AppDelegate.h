// The status window application: builds the window from the model's texts,
// keeps the markers for the status daemon and runs the one-second timer that
// checks the printer list and re-reads the printer information file.
#ifndef TQ58_APPDELEGATE_H
#define TQ58_APPDELEGATE_H

#include <QObject>
#include <QPixmap>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "PrinterList.h"
#include "StatusInfoModel.h"

class QTimer;
class StatusWindow;

class AppDelegate : public QObject, public StatusInfoModel {
public:
  // arguments are the process arguments (program, serial text, printer name);
  // printers is the system's printer list. Needs a QApplication.
  AppDelegate(std::vector<std::string> arguments, std::unique_ptr<PrinterListSource> printers);
  ~AppDelegate() override;

  // Prepares the window and starts the timer.
  void applicationWillFinishLaunching();
  // Creates the "_START_UTIL" marker and brings the window to the front.
  void applicationDidFinishLaunching();
  // Removes the "_UTIL" marker; runs when the application quits.
  void applicationWillTerminate();
  // Closing the window quits the application.
  bool applicationShouldTerminateAfterLastWindowClosed() const { return true; }
  // The update button: creates the "_TC_UTIL" marker; the next tick shows the count.
  void updateButtonPushed();
  // The timer's action, once a second.
  void repeateMethod();
  // Loads the twelve status icons from the resource folder.
  void setIconImage();

  void setMediaGroupTitle() override;
  void updateUI(int32_t percentage) override;

  StatusWindow* GetWindow() const { return window.get(); }
  QTimer* GetTimer() const { return m_timer; }
  bool IsTerminateRequested() const { return terminateRequested_; }
  // The pause before the one retry of a failed read (100 ms unless replaced).
  void SetRetryPause(std::function<void()> pause) { retryPause_ = std::move(pause); }

  // The resource folder holding the icons and the translations.
  static const char* GetResourceFolder();

private:
  void RequestTerminate();
  // Puts back the "_UTIL" marker when it has gone while the window runs, and
  // makes the one-time markers that could not be made when asked for.
  void KeepMarkers();
  void SetCaptions();
  std::array<QPixmap*, kStatusIconCount> GetImageFields();

  std::vector<std::string> arguments_;
  std::unique_ptr<PrinterListSource> printers_;
  std::function<void()> retryPause_;
  bool terminateRequested_ = false;
  bool startMarkerPending_ = false;   // "_START_UTIL" could not be made yet
  bool updateMarkerPending_ = false;  // "_TC_UTIL" of a press could not be made yet

  QString m_bundle;  // resource folder of the application
  QTimer* m_timer = nullptr;
  QPixmap m_prtStsCoolingImg, m_prtStsCoverOpenImg, m_prtStsIdleImg, m_prtStsNoScrapBoxImg;
  QPixmap m_prtStsOfflineImg, m_prtStsPaperEndImg, m_prtStsPaperErrImg, m_prtStsPaperJamImg;
  QPixmap m_prtStsPrintingImg, m_prtStsRibbonEndImg, m_prtStsRibbonErrImg, m_prtStsSystemErr01Img;
  std::unique_ptr<StatusWindow> window;
};

#endif
