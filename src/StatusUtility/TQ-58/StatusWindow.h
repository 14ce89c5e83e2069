// The status window's widgets: the media frame with its bar, the status frame
// with icon, text and message, the counter, serial and firmware frames and the
// update button. Layout only; AppDelegate fills them.
#ifndef TQ58_STATUSWINDOW_H
#define TQ58_STATUSWINDOW_H

#include <QWidget>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

class StatusWindow : public QWidget {
public:
  explicit StatusWindow(QWidget* parent = nullptr);

  // The window's controls; the window owns them.
  QGroupBox* mediaInfoBox = nullptr;
  QLabel* mediaSizeLabel = nullptr;
  QLabel* mediaCountLabel = nullptr;
  QLabel* percent0Label = nullptr;
  QLabel* percent50Label = nullptr;
  QLabel* percent100Label = nullptr;
  QProgressBar* progressIndicator = nullptr;
  QGroupBox* statusBox = nullptr;
  QLabel* statusIconView = nullptr;
  QLabel* statusLabel = nullptr;
  QLabel* statusMessageLabel = nullptr;
  QGroupBox* totalCountBox = nullptr;
  QLabel* totalCountLabel = nullptr;
  QGroupBox* serialNumberbox = nullptr;
  QLabel* serialNumberLabel = nullptr;
  QPushButton* updateButton = nullptr;
  QGroupBox* firmVersionbox = nullptr;
  QLabel* firmVersionLabel = nullptr;

  // Side of the status icon, in device-independent pixels.
  static constexpr int kIconSize = 48;

private:
  QGroupBox* MakeMediaBox();
  QGroupBox* MakeStatusBox();
  QGroupBox* MakeValueBox(QLabel** label);
};

#endif
