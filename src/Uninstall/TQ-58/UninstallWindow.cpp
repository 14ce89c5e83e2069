#include "UninstallWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UninstallWindow::UninstallWindow(QWidget* parent) : QWidget(parent)
{
  label = new QLabel(this);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setMinimumWidth(360);
  progress = new QProgressBar(this);
  progress->setRange(0, 0);  // no range: the bar runs its busy animation
  progress->setTextVisible(false);
  uninstallButton = new QPushButton(this);
  cancelButton = new QPushButton(this);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cancelButton);
  buttons->addWidget(uninstallButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(progress);
  layout->addLayout(buttons);
  setLayout(layout);
}

void UninstallWindow::closeEvent(QCloseEvent* event)
{
  if (closeAllowed_ && !closeAllowed_()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}
