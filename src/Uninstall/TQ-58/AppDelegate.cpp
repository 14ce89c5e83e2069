#include "AppDelegate.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "UninstallWindow.h"

AppDelegate::AppDelegate(std::function<int32_t()> request) : request_(std::move(request)) {}

AppDelegate::~AppDelegate()
{
  if (worker_.joinable()) worker_.join();
}

void AppDelegate::applicationDidFinishLaunching()
{
  window = std::make_unique<UninstallWindow>();
  window->setWindowTitle(qtTrId("WINDOW_TITLE"));
  window->uninstallButton->setText(qtTrId("UNINSTALL_BUTTON"));
  window->SetCloseAllowed([this] { return model_.IsCloseAllowed(); });
  connect(window->uninstallButton, &QPushButton::clicked, this, [this] { uninstall(); });
  connect(window->cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
  ShowModel();
  window->cancelButton->setDefault(true);
  window->show();
  window->raise();
  window->activateWindow();
}

void AppDelegate::ShowModel()
{
  const UninstallView view = model_.GetView();
  window->label->setText(qtTrId(view.labelKey));
  window->cancelButton->setText(qtTrId(view.cancelTitleKey));
  window->uninstallButton->setEnabled(view.uninstallEnabled);
  window->cancelButton->setEnabled(view.cancelEnabled);
  window->progress->setVisible(view.progressShown);
}

void AppDelegate::uninstall()
{
  if (!model_.BeginRemoval()) return;
  g_Ret = 0;
  g_process = true;
  ShowModel();
  window->label->repaint();
  window->progress->repaint();
  QTimer::singleShot(requestDelay_, this, [this] { callUninstall(); });
}

void AppDelegate::cancel()
{
  RequestTerminate();
}

void AppDelegate::callUninstall()
{
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] {
    g_Ret = request_();
    g_process = false;
    // Queued to the main thread; dropped if the delegate is gone by then.
    QMetaObject::invokeMethod(
        this, [this] { FinishUninstall(); }, Qt::QueuedConnection);
  });
}

void AppDelegate::FinishUninstall()
{
  if (g_process) return;
  if (worker_.joinable()) worker_.join();
  model_.FinishRemoval(g_Ret);
  if (model_.GetState() == UninstallState::kEnded) {
    RequestTerminate();
    return;
  }
  ShowModel();
  window->cancelButton->setDefault(true);
}

void AppDelegate::RequestTerminate()
{
  terminateRequested_ = true;
  // Queued, so that it also ends a loop that has not started yet.
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
