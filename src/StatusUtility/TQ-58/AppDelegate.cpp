#include "AppDelegate.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <array>

#include "StatusMarkers.h"
#include "StatusWindow.h"

namespace {

constexpr int kTickMilliseconds = 1000;
constexpr useconds_t kRetryPauseMicroseconds = 100000;

std::string LocalizedText(const char* key)
{
  return qtTrId(key).toStdString();
}

QString Q(const std::string& text)
{
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Localized(const char* key)
{
  return qtTrId(key);
}

// Qt turns "[*]" in a window title into a modification mark; doubled, it stays as written.
QString TitleText(const std::string& name)
{
  return Q(name).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

}  // namespace

AppDelegate::AppDelegate(std::vector<std::string> arguments, std::unique_ptr<PrinterListSource> printers)
    : StatusInfoModel(&LocalizedText),
      arguments_(std::move(arguments)),
      printers_(std::move(printers)),
      retryPause_([] { usleep(kRetryPauseMicroseconds); })
{
  arguments_.resize(std::max<size_t>(arguments_.size(), 3));
  if (QCoreApplication* app = QCoreApplication::instance()) {
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { applicationWillTerminate(); });
  }
}

AppDelegate::~AppDelegate() = default;

const char* AppDelegate::GetResourceFolder()
{
  return ":/StatusInfoTQ-58";
}

void AppDelegate::applicationWillFinishLaunching()
{
  PrepareLaunch(arguments_[1], arguments_[2]);
  window = std::make_unique<StatusWindow>();
  window->setWindowTitle(TitleText(GetWindowTitle()));
  m_bundle = QString::fromUtf8(GetResourceFolder());
  setIconImage();
  window->progressIndicator->setRange(0, 100);
  SetCaptions();
  for (QLabel* label :
       {window->mediaSizeLabel, window->mediaCountLabel, window->statusLabel, window->statusMessageLabel,
        window->totalCountLabel, window->serialNumberLabel, window->firmVersionLabel}) {
    label->clear();
  }
  connect(window->updateButton, &QPushButton::clicked, this, [this] { updateButtonPushed(); });
  QGuiApplication::setQuitOnLastWindowClosed(applicationShouldTerminateAfterLastWindowClosed());
  // A QTimer of the main thread also fires while a menu or a modal dialog runs its own loop.
  m_timer = new QTimer(this);
  m_timer->setInterval(kTickMilliseconds);
  connect(m_timer, &QTimer::timeout, this, [this] { repeateMethod(); });
  m_timer->start();
  window->show();
}

void AppDelegate::SetCaptions()
{
  window->percent0Label->setText(Localized("percent0"));
  window->percent50Label->setText(Localized("percent50"));
  window->percent100Label->setText(Localized("percent100"));
  window->statusBox->setTitle(Localized("statusGroupTitle"));
  window->totalCountBox->setTitle(Localized("totalCountGroupTitle"));
  window->serialNumberbox->setTitle(Localized("serialNoGroupTitle"));
  window->updateButton->setText(Localized("update"));
  window->firmVersionbox->setTitle(Localized("firmVersionGroupTitle"));
  window->mediaInfoBox->setTitle(Localized("mediaGroupTitle") + QStringLiteral("[ --- ]"));
}

void AppDelegate::applicationDidFinishLaunching()
{
  startMarkerPending_ = !CreateMarker(arguments_[1], StatusMarker::kStartUtil);
  window->raise();
  window->activateWindow();
}

void AppDelegate::applicationWillTerminate()
{
  RemoveMarker(arguments_[1], StatusMarker::kUtil);
}

void AppDelegate::updateButtonPushed()
{
  updateMarkerPending_ = !CreateMarker(GetFields().m_argSerialNo, StatusMarker::kTcUtil);
}

void AppDelegate::repeateMethod()
{
  if (terminateRequested_) return;
  if (CheckPrinterList(*printers_) == PrinterCheck::kGone) {
    RequestTerminate();
    return;
  }
  KeepMarkers();
  ReadInfoValues(retryPause_);
  updateStatus();
}

void AppDelegate::KeepMarkers()
{
  // A cache folder that was removed or read-only must not leave the daemon
  // without the window's markers once it can be written again.
  const std::string& serialNo = GetFields().m_argSerialNo;
  if (!IsMarkerPresent(serialNo, StatusMarker::kUtil)) CreateMarker(serialNo, StatusMarker::kUtil);
  if (startMarkerPending_) startMarkerPending_ = !CreateMarker(serialNo, StatusMarker::kStartUtil);
  if (updateMarkerPending_) updateMarkerPending_ = !CreateMarker(serialNo, StatusMarker::kTcUtil);
}

void AppDelegate::RequestTerminate()
{
  terminateRequested_ = true;
  // Queued, so that quitting also works from a tick that runs before the event loop.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

std::array<QPixmap*, kStatusIconCount> AppDelegate::GetImageFields()
{
  // In the order of StatusIcon.
  return {&m_prtStsCoolingImg,  &m_prtStsCoverOpenImg, &m_prtStsIdleImg,      &m_prtStsNoScrapBoxImg,
          &m_prtStsOfflineImg,  &m_prtStsPaperEndImg,  &m_prtStsPaperErrImg,  &m_prtStsPaperJamImg,
          &m_prtStsPrintingImg, &m_prtStsRibbonEndImg, &m_prtStsRibbonErrImg, &m_prtStsSystemErr01Img};
}

void AppDelegate::setIconImage()
{
  const std::array<QPixmap*, kStatusIconCount> fields = GetImageFields();
  for (int i = 0; i < kStatusIconCount; ++i) {
    const QString path = m_bundle + QLatin1Char('/') + QLatin1String(GetStatusIconFile(static_cast<StatusIcon>(i)));
    QPixmap image;
    image.load(path);  // a file that cannot be loaded leaves no image
    *fields[static_cast<size_t>(i)] = image;
  }
}

void AppDelegate::setMediaGroupTitle()
{
  StatusInfoModel::setMediaGroupTitle();
  window->mediaInfoBox->setTitle(Q(GetDisplay().mediaGroupTitle));
}

void AppDelegate::updateUI(int32_t percentage)
{
  StatusInfoModel::updateUI(percentage);
  const StatusDisplay& shown = GetDisplay();
  window->mediaSizeLabel->setText(Q(shown.mediaSize));
  window->mediaCountLabel->setText(Q(shown.mediaCount));
  // The bar cannot show values outside its range; odd counts pin it at an end.
  window->progressIndicator->setValue(std::clamp(percentage, 0, 100));
  const QPixmap& image = *GetImageFields()[static_cast<size_t>(shown.icon)];
  if (image.isNull()) {
    window->statusIconView->clear();
  } else {
    const qreal ratio = window->devicePixelRatioF();
    const int side = static_cast<int>(StatusWindow::kIconSize * ratio);
    QPixmap scaled = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    window->statusIconView->setPixmap(scaled);
  }
  window->statusLabel->setText(Q(shown.status));
  window->statusMessageLabel->setText(Q(shown.message));
  window->totalCountLabel->setText(Q(shown.totalCount));
  window->serialNumberLabel->setText(Q(shown.serialNumber));
  window->firmVersionLabel->setText(Q(shown.firmVersion));
  window->progressIndicator->repaint();
}
