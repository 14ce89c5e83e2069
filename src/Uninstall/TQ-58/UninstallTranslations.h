// The uninstaller's localized texts: Qt ID-based translations whose IDs are
// the text keys ("FIRST_MSG", "EXEC_MSG", "SUCCESS_MSG", "FAIL_MSG", "EXIT"
// and the window's captions). A key without a text shows the key itself.
#ifndef TQ58_UNINSTALLTRANSLATIONS_H
#define TQ58_UNINSTALLTRANSLATIONS_H

#include <vector>

class QLocale;
class QTranslator;

// Loads and installs the texts for locale, English when there are none for it.
// The translator belongs to the application; nullptr when nothing could be loaded.
QTranslator* InstallUninstallTranslations(const QLocale& locale);

// Every text key the uninstaller looks up.
std::vector<const char*> GetUninstallTextKeys();

#endif
