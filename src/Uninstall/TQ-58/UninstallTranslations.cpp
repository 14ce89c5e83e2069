#include "UninstallTranslations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>

namespace {

constexpr const char* kFolder = ":/UninstallTQ58/i18n";

}  // namespace

QTranslator* InstallUninstallTranslations(const QLocale& locale)
{
  const QString folder = QString::fromLatin1(kFolder);
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, QStringLiteral("UninstallTQ58"), QStringLiteral("_"), folder) ||
      translator->load(QStringLiteral("UninstallTQ58_en"), folder)) {
    QCoreApplication::installTranslator(translator);
    return translator;
  }
  delete translator;
  return nullptr;
}

std::vector<const char*> GetUninstallTextKeys()
{
  return {"WINDOW_TITLE", "FIRST_MSG", "EXEC_MSG",         "SUCCESS_MSG",
          "FAIL_MSG",     "EXIT",      "UNINSTALL_BUTTON", "CANCEL_BUTTON"};
}
