// Reading and parsing the printer information file the status daemon writes
// into the cache folder, and the integer reading of its values.
#ifndef TQ58_INFOFILETEXT_H
#define TQ58_INFOFILETEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The raw values of the information file, one per key the window reads.
struct InfoFileValues {
  std::string m_modelStr_Log;       // "MODEL=" (kept, not shown)
  std::string m_statusStr_Log;      // "PRINTER_STATUS="
  std::string m_messageStr_Log;     // "PRINTER_MESSAGE="
  std::string m_serialStr_Log;      // "PRINTER_SERIAL_NO=", "%20" turned back into spaces
  std::string m_sizeStr_Log;        // "MEDIA_SIZE="
  std::string m_initialStr_Log;     // "MEDIA_INITIAL="
  std::string m_remainStr_Log;      // "MEDIA_REMAIN="
  std::string m_remainHalfStr_Log;  // "MEDIA_REMAIN_HALF=" (kept, not shown)
  std::string m_totalCountStr_Log;  // "TOTAL_COUNT="
  std::string m_mediaClassStr_Log;  // "MEDIA_CLASS="
  std::string m_firmVersion_Log;    // "PRINTER_VERSION="
};

// The most the window reads of one file. The daemon's file is well under 1 KiB;
// a bigger one is read up to its last complete line within this size.
inline constexpr size_t kMaxInfoFileBytes = 64 * 1024;

// Reads the file at path into text. False when it does not exist, is not a
// regular file (a link at path is not followed), cannot be read, or its bytes
// are not UTF-8. Never waits on a FIFO or device planted at the path. Blocks
// on the file system only.
bool ReadInfoFile(const std::string& path, std::string* text);

// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Sets the fields of the keys found in text, line by line. A line is matched by
// the first key prefix it starts with; the value loses every double quote. Keys
// the text lacks keep their values; a key found twice keeps the last one.
void ParseInfoText(std::string_view text, InfoFileValues* values);

// The values of a printer without data: status "99999", message "00006", the rest empty.
void SetOfflineValues(InfoFileValues* values);

// Integer value of a text: leading white space skipped, optional sign, digits up
// to the first non-digit; 0 without digits; saturated at the type's limits.
int32_t GetIntValue(std::string_view text);
int64_t GetLongValue(std::string_view text);

#endif
