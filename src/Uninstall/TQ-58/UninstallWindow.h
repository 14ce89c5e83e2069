// The uninstaller's window: the message label, the progress indicator and the
// uninstall and cancel buttons. Layout only; AppDelegate fills and drives it.
#ifndef TQ58_UNINSTALLWINDOW_H
#define TQ58_UNINSTALLWINDOW_H

#include <QWidget>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

class UninstallWindow : public QWidget {
public:
  explicit UninstallWindow(QWidget* parent = nullptr);

  // Asked before the window closes; a close it refuses is ignored.
  void SetCloseAllowed(std::function<bool()> allowed) { closeAllowed_ = std::move(allowed); }

  // The window's controls; the window owns them.
  QLabel* label = nullptr;
  QProgressBar* progress = nullptr;  // indeterminate: it animates while shown
  QPushButton* uninstallButton = nullptr;
  QPushButton* cancelButton = nullptr;

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  std::function<bool()> closeAllowed_;
};

#endif
