#include "StatusTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>

#include "AppDelegate.h"

QTranslator* InstallStatusTranslations(const QLocale& locale)
{
  const QString folder = QString::fromUtf8(AppDelegate::GetResourceFolder()) + QStringLiteral("/i18n");
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, QStringLiteral("StatusInfoTQ-58"), QStringLiteral("_"), folder) ||
      translator->load(QStringLiteral("StatusInfoTQ-58_en"), folder)) {
    QCoreApplication::installTranslator(translator);
    return translator;
  }
  delete translator;
  return nullptr;
}
