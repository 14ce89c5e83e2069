#include "StatusInfoModel.h"

#include <sys/stat.h>

#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "StatusMarkers.h"

namespace {

constexpr const char* kNoValue = "---";
constexpr int32_t kOfflineStatus = 99999;
constexpr int32_t kRibbonEndStatus = 1200;

// remaining / initial in percent, in single precision and truncated toward zero.
// Odd counts may give more than 100 or less than 0; the conversion saturates at
// the integer limits instead of overflowing.
int32_t GetRemainPercent(int32_t remaining, int32_t initial)
{
  const float quotient = static_cast<float>(remaining) / static_cast<float>(initial);
  const float percent = quotient * 100.0f;
  if (!(percent > -2147483648.0f)) return std::numeric_limits<int32_t>::min();
  if (percent >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(percent);
}

std::string LongText(int64_t value)
{
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  return text;
}

bool FileExists(const std::string& path)
{
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

}  // namespace

StatusInfoModel::StatusInfoModel(TextLookup lookup) : lookup_(std::move(lookup)) {}

std::string StatusInfoModel::Text(const char* key) const
{
  return lookup_ ? lookup_(key) : std::string(key);
}

void StatusInfoModel::PrepareLaunch(const std::string& serialNo, const std::string& printerName)
{
  fields_.m_argSerialNo = serialNo;
  printerName_ = printerName;
  fields_.m_stsImg = StatusIcon::kOffline;
  fields_.m_logFilePath = GetInfoFilePath(serialNo);
}

std::string StatusInfoModel::GetWindowTitle() const
{
  if (!printerName_.empty()) return printerName_;
  InfoFileValues values;
  ::ParseInfoText("PRINTER_SERIAL_NO=" + fields_.m_argSerialNo, &values);
  return values.m_serialStr_Log;
}

bool StatusInfoModel::IsWindowPrinter(const PrinterListEntry& printer) const
{
  if (!printerName_.empty()) return !printer.name.empty() && printer.name == printerName_;
  return !fields_.m_argSerialNo.empty() && GetSerialTextOfDeviceUri(printer.deviceUri) == fields_.m_argSerialNo;
}

PrinterCheck StatusInfoModel::CheckPrinterList(PrinterListSource& printers) const
{
  std::vector<PrinterListEntry> list;
  if (!printers.GetPrinterList(&list)) return PrinterCheck::kSkipped;
  for (const PrinterListEntry& printer : list) {
    if (IsWindowPrinter(printer)) return PrinterCheck::kPresent;
  }
  return PrinterCheck::kGone;
}

void StatusInfoModel::ReadInfoValues(const std::function<void()>& pauseBeforeRetry)
{
  if (!fields_.m_logFilePath || !FileExists(*fields_.m_logFilePath)) {
    SetOfflineValues(&fields_);
    return;
  }
  std::string text;
  if (!ReadInfoFile(*fields_.m_logFilePath, &text)) {
    if (pauseBeforeRetry) pauseBeforeRetry();
    if (!ReadInfoFile(*fields_.m_logFilePath, &text)) {
      SetOfflineValues(&fields_);
      return;
    }
  }
  ParseInfoText(text);
}

void StatusInfoModel::ParseInfoText(std::string_view text)
{
  ::ParseInfoText(text, &fields_);
}

int32_t StatusInfoModel::getStatus()
{
  if (fields_.m_statusStr_Log.empty()) {
    fields_.m_statusStr = Text("st_99999");
    fields_.m_stsImg = StatusIcon::kOffline;
    return kOfflineStatus;
  }
  const int32_t code = GetIntValue(fields_.m_statusStr_Log);
  std::string key;
  StatusIcon icon;
  // A code without a row keeps the text and icon shown before.
  if (GetStatusRow(code, &key, &icon)) {
    fields_.m_statusStr = Text(key.c_str());
    fields_.m_stsImg = icon;
  }
  return code;
}

void StatusInfoModel::getStatusMessageString()
{
  fields_.m_messageStr.clear();
  std::string key;
  if (!fields_.m_messageStr_Log.empty() && GetMessageKey(GetIntValue(fields_.m_messageStr_Log), &key)) {
    fields_.m_messageStr = Text(key.c_str());
  }
}

void StatusInfoModel::setMediaGroupTitle()
{
  const std::string caption = Text("mediaGroupTitle");
  std::string key;
  if (!fields_.m_mediaClassStr_Log.empty() && GetMediaClassKey(GetIntValue(fields_.m_mediaClassStr_Log), &key)) {
    display_.mediaGroupTitle = caption + "[ " + Text(key.c_str()) + " ]";
  } else {
    display_.mediaGroupTitle = caption + "[ --- ]";
  }
}

int32_t StatusInfoModel::getMediaSizeString(int32_t /*model: only variant 4 exists*/)
{
  std::string key;
  const int32_t size = GetIntValue(fields_.m_sizeStr_Log);
  if (fields_.m_sizeStr_Log.empty() || !GetMediaSizeKey(size, &key)) {
    fields_.m_sizeStr = kNoValue;
    return 0;
  }
  fields_.m_sizeStr = Text(key.c_str());
  return size;
}

void StatusInfoModel::updateStatus()
{
  setMediaGroupTitle();
  const int32_t mediaSize = getMediaSizeString(fields_.m_model);
  getStatusMessageString();
  const int32_t status = getStatus();
  bool zeroRemaining = status == kRibbonEndStatus || status == kOfflineStatus;
  if (mediaSize == 0 && !zeroRemaining) {
    fields_.m_messageStr = fields_.m_messageStr + "\n" + Text("ms_00108");
    zeroRemaining = true;
  }
  UpdateCountTexts(zeroRemaining);
}

void StatusInfoModel::UpdateCountTexts(bool zeroRemaining)
{
  const std::string noCounts = std::string("--- / ---  ") + Text("sheets");
  fields_.m_sizeDitailsStr.clear();
  if (fields_.m_initialStr_Log.empty() || fields_.m_remainStr_Log.empty()) {
    fields_.m_sizeDitailsStr = noCounts;
    updateUI(0);
    return;
  }
  const int32_t initial = GetIntValue(fields_.m_initialStr_Log);
  const int32_t remaining = zeroRemaining ? 0 : GetIntValue(fields_.m_remainStr_Log);
  if (initial == 0) {
    fields_.m_sizeDitailsStr = noCounts;
    updateUI(0);
    return;
  }
  char counts[64];
  std::snprintf(counts, sizeof counts, "%d / %d  ", static_cast<int>(remaining), static_cast<int>(initial));
  fields_.m_sizeDitailsStr = counts + Text("sheets");
  updateUI(GetRemainPercent(remaining, initial));
}

std::string StatusInfoModel::GetTotalCountText()
{
  if (!fields_.m_totalCountStr_Log.empty()) {
    fields_.m_totalCountStr = fields_.m_totalCountStr_Log;
    return LongText(GetLongValue(fields_.m_totalCountStr_Log));
  }
  // The daemon writes the count only when asked; show the last one until the printer goes offline.
  if (!fields_.m_totalCountStr.empty() && !fields_.m_statusStr_Log.empty() &&
      GetIntValue(fields_.m_statusStr_Log) != kOfflineStatus) {
    return LongText(GetLongValue(fields_.m_totalCountStr));
  }
  return kNoValue;
}

void StatusInfoModel::updateUI(int32_t percentage)
{
  display_.mediaSize = fields_.m_sizeStr;
  display_.mediaCount = fields_.m_sizeDitailsStr;
  display_.percent = percentage;
  display_.icon = fields_.m_stsImg;
  display_.status = fields_.m_statusStr;
  display_.message = fields_.m_messageStr;
  display_.totalCount = GetTotalCountText();
  display_.serialNumber = fields_.m_serialStr_Log.empty() ? kNoValue : fields_.m_serialStr_Log;
  display_.firmVersion = fields_.m_firmVersion_Log.empty() ? kNoValue : fields_.m_firmVersion_Log;
}
