#include "InfoFileText.h"

#include <fcntl.h>

#include <limits>

#include "SafeRead.h"
#include "Utf8Text.h"

namespace {

struct KeyField {
  std::string_view prefix;
  std::string InfoFileValues::*field;
};

// Tested in this order; the first prefix a line starts with wins.
constexpr KeyField kKeyFields[] = {
    {"MODEL=", &InfoFileValues::m_modelStr_Log},
    {"PRINTER_STATUS=", &InfoFileValues::m_statusStr_Log},
    {"PRINTER_MESSAGE=", &InfoFileValues::m_messageStr_Log},
    {"PRINTER_SERIAL_NO=", &InfoFileValues::m_serialStr_Log},
    {"MEDIA_CLASS=", &InfoFileValues::m_mediaClassStr_Log},
    {"MEDIA_SIZE=", &InfoFileValues::m_sizeStr_Log},
    {"MEDIA_INITIAL=", &InfoFileValues::m_initialStr_Log},
    {"MEDIA_REMAIN=", &InfoFileValues::m_remainStr_Log},
    {"MEDIA_REMAIN_HALF=", &InfoFileValues::m_remainHalfStr_Log},
    {"TOTAL_COUNT=", &InfoFileValues::m_totalCountStr_Log},
    {"PRINTER_VERSION=", &InfoFileValues::m_firmVersion_Log},
};

std::string WithoutQuotes(std::string_view text)
{
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c != '"') result.push_back(c);
  }
  return result;
}

std::string SpacesForPercent20(const std::string& text)
{
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 3, "%20") == 0) {
      result.push_back(' ');
      i += 2;
    } else {
      result.push_back(text[i]);
    }
  }
  return result;
}

void ParseLine(std::string_view line, InfoFileValues* values)
{
  for (const KeyField& key : kKeyFields) {
    if (line.substr(0, key.prefix.size()) != key.prefix) continue;
    std::string value = WithoutQuotes(line.substr(key.prefix.size()));
    if (key.field == &InfoFileValues::m_serialStr_Log) value = SpacesForPercent20(value);
    values->*key.field = std::move(value);
    return;
  }
}

template <typename T>
T IntegerValue(std::string_view text)
{
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulated as a negative number so that the lowest value fits too.
  T value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const T digit = static_cast<T>(text[i] - '0');
    if (value < (std::numeric_limits<T>::min() + digit) / 10) {
      return negative ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    }
    value = static_cast<T>(value * 10 - digit);
  }
  if (negative) return value;
  return value == std::numeric_limits<T>::min() ? std::numeric_limits<T>::max() : static_cast<T>(-value);
}

}  // namespace

bool IsValidUtf8(std::string_view bytes)
{
  return TQ58_IsValidUtf8(bytes);
}

bool ReadInfoFile(const std::string& path, std::string* text)
{
  text->clear();
  std::string bytes;
  bool cut = false;
  if (!TQ58_ReadSmallFileAt(AT_FDCWD, path.c_str(), SmallFileRule{kMaxInfoFileBytes, false, true}, &bytes, &cut)) {
    return false;
  }
  // A longer file is kept up to its last complete line.
  if (cut) {
    const size_t lastLineFeed = bytes.rfind('\n');
    bytes.resize(lastLineFeed == std::string::npos ? 0 : lastLineFeed + 1);
  }
  if (!IsValidUtf8(bytes)) return false;
  *text = std::move(bytes);
  return true;
}

void ParseInfoText(std::string_view text, InfoFileValues* values)
{
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    ParseLine(text.substr(start, end - start), values);
    start = end + 1;
  }
}

void SetOfflineValues(InfoFileValues* values)
{
  *values = InfoFileValues();
  values->m_statusStr_Log = "99999";
  values->m_messageStr_Log = "00006";
}

int32_t GetIntValue(std::string_view text)
{
  return IntegerValue<int32_t>(text);
}

int64_t GetLongValue(std::string_view text)
{
  return IntegerValue<int64_t>(text);
}
