#include "StatusTables.h"

#include <cstdio>

namespace {

constexpr const char* kIconFiles[kStatusIconCount] = {
    "PrtStsCooling.png",  "PrtStsCoverOpen.png", "PrtStsIdle.png",      "PrtStsNoScrapBox.png",
    "PrtStsOffline.png",  "PrtStsPaperEnd.png",  "PrtStsPaperErr.png",  "PrtStsPaperJam.png",
    "PrtStsPrinting.png", "PrtStsRibbonEnd.png", "PrtStsRibbonErr.png", "PrtStsSystemErr01.png",
};

struct StatusRow {
  int32_t code;
  StatusIcon icon;
};

// Codes 510 and every code not listed here have no row on purpose: the window
// then keeps the status text and icon it showed before.
constexpr StatusRow kStatusRows[] = {
    {0, StatusIcon::kIdle},           {1, StatusIcon::kPrinting},       {500, StatusIcon::kCooling},
    {900, StatusIcon::kIdle},         {1000, StatusIcon::kCoverOpen},   {1010, StatusIcon::kNoScrapBox},
    {1100, StatusIcon::kPaperEnd},    {1200, StatusIcon::kRibbonEnd},   {1300, StatusIcon::kPaperJam},
    {1400, StatusIcon::kRibbonErr},   {1500, StatusIcon::kPaperErr},    {1600, StatusIcon::kSystemErr01},
    {2000, StatusIcon::kSystemErr01}, {2100, StatusIcon::kSystemErr01}, {2200, StatusIcon::kSystemErr01},
    {2300, StatusIcon::kSystemErr01}, {2400, StatusIcon::kSystemErr01}, {2500, StatusIcon::kSystemErr01},
    {2600, StatusIcon::kSystemErr01}, {2610, StatusIcon::kSystemErr01}, {2700, StatusIcon::kSystemErr01},
    {2800, StatusIcon::kSystemErr01}, {3000, StatusIcon::kSystemErr01}, {99999, StatusIcon::kOffline},
};

constexpr const char* kMediaClassKeys[] = {"mediaDigital", "mediaPremiumDigital", "mediaPurePremium"};
constexpr int32_t kMediaSizes[] = {150, 161};

constexpr const char* kFixedKeys[] = {
    "percent0",
    "percent50",
    "percent100",
    "statusGroupTitle",
    "totalCountGroupTitle",
    "serialNoGroupTitle",
    "update",
    "firmVersionGroupTitle",
    "mediaGroupTitle",
    "sheets",
};

bool IsMessageCode(int32_t code)
{
  return (code >= 1 && code <= 6) || (code >= 100 && code <= 108) || (code >= 200 && code <= 210);
}

// "prefix" followed by code in five digits with leading zeros.
std::string CodeKey(const char* prefix, int32_t code)
{
  char key[32];
  std::snprintf(key, sizeof key, "%s%05d", prefix, static_cast<int>(code));
  return key;
}

}  // namespace

const char* GetStatusIconFile(StatusIcon icon)
{
  const int index = static_cast<int>(icon);
  return index >= 0 && index < kStatusIconCount ? kIconFiles[index] : "";
}

bool GetStatusRow(int32_t code, std::string* key, StatusIcon* icon)
{
  for (const StatusRow& row : kStatusRows) {
    if (row.code != code) continue;
    *key = CodeKey("st_", code);
    *icon = row.icon;
    return true;
  }
  return false;
}

bool GetMessageKey(int32_t code, std::string* key)
{
  if (!IsMessageCode(code)) return false;
  *key = CodeKey("ms_", code);
  return true;
}

bool GetMediaClassKey(int32_t mediaClass, std::string* key)
{
  if (mediaClass < 1 || mediaClass > 3) return false;
  *key = kMediaClassKeys[mediaClass - 1];
  return true;
}

bool GetMediaSizeKey(int32_t size, std::string* key)
{
  for (int32_t known : kMediaSizes) {
    if (known != size) continue;
    *key = CodeKey("size_", size);
    return true;
  }
  return false;
}

std::vector<std::string> GetAllTextKeys()
{
  std::vector<std::string> keys(std::begin(kFixedKeys), std::end(kFixedKeys));
  for (const StatusRow& row : kStatusRows) keys.push_back(CodeKey("st_", row.code));
  for (int32_t code = 1; code <= 210; ++code) {
    if (IsMessageCode(code)) keys.push_back(CodeKey("ms_", code));
  }
  for (const char* key : kMediaClassKeys) keys.push_back(key);
  for (int32_t size : kMediaSizes) keys.push_back(CodeKey("size_", size));
  return keys;
}
