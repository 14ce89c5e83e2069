#include "StatusWindow.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Values come from a file anyone may write: show them as plain text, and let
// an overlong one be cut at the frame instead of stretching the window.
QLabel* ValueLabel(QWidget* parent)
{
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QLabel* Caption(QWidget* parent, Qt::Alignment alignment)
{
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment);
  QFont font = label->font();
  font.setPointSizeF(font.pointSizeF() * 0.85);
  label->setFont(font);
  return label;
}

}  // namespace

StatusWindow::StatusWindow(QWidget* parent) : QWidget(parent)
{
  auto* root = new QVBoxLayout(this);
  root->addWidget(MakeMediaBox());
  root->addWidget(MakeStatusBox());
  auto* values = new QHBoxLayout;
  values->addWidget(MakeValueBox(&totalCountLabel), 1);
  totalCountBox = qobject_cast<QGroupBox*>(totalCountLabel->parentWidget());
  values->addWidget(MakeValueBox(&serialNumberLabel), 1);
  serialNumberbox = qobject_cast<QGroupBox*>(serialNumberLabel->parentWidget());
  values->addWidget(MakeValueBox(&firmVersionLabel), 1);
  firmVersionbox = qobject_cast<QGroupBox*>(firmVersionLabel->parentWidget());
  root->addLayout(values);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  updateButton = new QPushButton(this);
  updateButton->setDefault(true);
  buttons->addWidget(updateButton);
  root->addLayout(buttons);
  setMinimumWidth(440);
}

QGroupBox* StatusWindow::MakeMediaBox()
{
  mediaInfoBox = new QGroupBox(this);
  auto* grid = new QGridLayout(mediaInfoBox);
  mediaSizeLabel = ValueLabel(mediaInfoBox);
  QFont bold = mediaSizeLabel->font();
  bold.setBold(true);
  mediaSizeLabel->setFont(bold);
  mediaCountLabel = ValueLabel(mediaInfoBox);
  mediaCountLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  progressIndicator = new QProgressBar(mediaInfoBox);
  progressIndicator->setTextVisible(false);
  percent0Label = Caption(mediaInfoBox, Qt::AlignLeft);
  percent50Label = Caption(mediaInfoBox, Qt::AlignHCenter);
  percent100Label = Caption(mediaInfoBox, Qt::AlignRight);
  grid->addWidget(mediaSizeLabel, 0, 0, 1, 2);
  grid->addWidget(mediaCountLabel, 0, 2, 1, 1);
  grid->addWidget(progressIndicator, 1, 0, 1, 3);
  grid->addWidget(percent0Label, 2, 0);
  grid->addWidget(percent50Label, 2, 1);
  grid->addWidget(percent100Label, 2, 2);
  grid->setVerticalSpacing(4);
  for (int column = 0; column < 3; ++column) grid->setColumnStretch(column, 1);
  return mediaInfoBox;
}

QGroupBox* StatusWindow::MakeStatusBox()
{
  statusBox = new QGroupBox(this);
  auto* row = new QHBoxLayout(statusBox);
  statusIconView = new QLabel(statusBox);
  statusIconView->setFixedSize(kIconSize, kIconSize);
  statusIconView->setAlignment(Qt::AlignCenter);
  row->addWidget(statusIconView, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  statusLabel = ValueLabel(statusBox);
  QFont bigger = statusLabel->font();
  bigger.setBold(true);
  bigger.setPointSizeF(bigger.pointSizeF() * 1.15);
  statusLabel->setFont(bigger);
  statusMessageLabel = ValueLabel(statusBox);
  statusMessageLabel->setWordWrap(true);
  statusMessageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // Room for the message and the media line, so the window keeps its size.
  statusMessageLabel->setMinimumHeight(statusMessageLabel->fontMetrics().lineSpacing() * 3);
  texts->addWidget(statusLabel);
  texts->addWidget(statusMessageLabel, 1);
  row->addLayout(texts, 1);
  return statusBox;
}

QGroupBox* StatusWindow::MakeValueBox(QLabel** label)
{
  auto* box = new QGroupBox(this);
  auto* layout = new QVBoxLayout(box);
  *label = ValueLabel(box);
  layout->addWidget(*label);
  return box;
}
