// The fixed tables of the status window: status and message codes, media
// classes and sizes, the status icons and every text key the window looks up.
#ifndef TQ58_STATUSTABLES_H
#define TQ58_STATUSTABLES_H

#include <cstdint>
#include <string>
#include <vector>

// The twelve status icons, in the order they are loaded.
enum class StatusIcon {
  kCooling,
  kCoverOpen,
  kIdle,
  kNoScrapBox,
  kOffline,
  kPaperEnd,
  kPaperErr,
  kPaperJam,
  kPrinting,
  kRibbonEnd,
  kRibbonErr,
  kSystemErr01,
};
inline constexpr int kStatusIconCount = 12;

// File name of an icon in the resource folder ("PrtStsIdle.png", ...).
const char* GetStatusIconFile(StatusIcon icon);

// Text key and icon of a status code; false when the code has no row.
bool GetStatusRow(int32_t code, std::string* key, StatusIcon* icon);

// Text key of a message code ("ms_00001"); false when the code has no text.
bool GetMessageKey(int32_t code, std::string* key);

// Text key of a media class ("mediaDigital"); false for an unknown class.
bool GetMediaClassKey(int32_t mediaClass, std::string* key);

// Text key of a media size ("size_00150"); false for a size the window does not know.
bool GetMediaSizeKey(int32_t size, std::string* key);

// Every key the window looks up, for the translation tables and their checks.
std::vector<std::string> GetAllTextKeys();

#endif
