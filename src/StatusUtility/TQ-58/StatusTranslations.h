// The status window's localized texts: Qt ID-based translations whose IDs are
// the window's text keys. A key without a text shows the key itself.
#ifndef TQ58_STATUSTRANSLATIONS_H
#define TQ58_STATUSTRANSLATIONS_H

class QLocale;
class QTranslator;

// Loads and installs the texts for locale, English when there are none for it.
// The translator belongs to the application; nullptr when nothing could be loaded.
QTranslator* InstallStatusTranslations(const QLocale& locale);

#endif
