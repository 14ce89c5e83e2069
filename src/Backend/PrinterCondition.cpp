#include "PrinterCondition.h"

#include <algorithm>
#include <cstdio>

#include "TextUtil.h"

namespace {

constexpr int kFirstErrorStatus = 1000;  // codes below report a working printer
constexpr int kOutOfRibbon = 1200;
constexpr int kNoDataStatus = 99999;  // the status daemon's code for a printer without data
constexpr char kOffline[] = "offline-report";
constexpr char kMediaLow[] = "media-low-warning";
constexpr char kOtherError[] = "other-error";
constexpr char kCountPrefix[] = "0000";  // the counts' replies: "0000" and five digits

struct StatusRow {
  int status;
  const char* reason;  // empty: the printer takes prints
  const char* text;
};

constexpr StatusRow kRows[] = {
    {0, "", ""},
    {1, "", ""},
    {500, "", "The print head is cooling down; printing goes on by itself."},
    {510, "", "Printing is paused while the print head cools; it goes on by itself."},
    {900, "", ""},
    {1000, "cover-open-error", "The printer's cover is open: close it."},
    {1010, "output-tray-missing-error", "The scrap box is missing: insert it into the printer."},
    {1100, "media-empty-error", "The printer is out of paper: load a new paper roll."},
    {1200, "marker-supply-empty-error", "The ink ribbon is used up: replace the ribbon and paper."},
    {1300, "media-jam-error", "Paper jam: open the cover, remove the jammed paper, then close the cover."},
    {1400, "marker-supply-missing-error",
     "Ribbon error: check that the ink ribbon is installed correctly and not torn, or replace it."},
    {1500, "media-needed-error", "Paper error: check that the paper is loaded correctly and matches the ink ribbon."},
    {1600, kOtherError, "The printer reported an error: switch it off and on again."},
};

const StatusRow* FindRow(int status)
{
  for (const StatusRow& row : kRows) {
    if (row.status == status) return &row;
  }
  return nullptr;
}

bool IsOffline(int status)
{
  return status == kStatusFailed || status == kNoDataStatus;
}

// A count reply: "0000" and the number.
int CountOf(long length, const char* text)
{
  const int prefix = static_cast<int>(sizeof kCountPrefix) - 1;
  if (length <= prefix) return -1;
  const int value = _TextToInt(text + prefix, static_cast<int>(std::min<long>(length - prefix, 16)));
  return value >= 0 ? value : -1;
}

}  // namespace

PrinterReading ReadPrinter(UsbInterface* intf)
{
  PrinterReading reading;
  reading.status = GetStatus(intf);
  if (reading.status == kStatusFailed) return reading;
  char text[64];
  const long initial = GetMediaInitial(intf, text, sizeof text);
  reading.initial = CountOf(initial, text);
  const long remain = GetMediaRemain(intf, text, sizeof text);
  reading.remain = CountOf(remain, text);
  return reading;
}

std::string GetStatusReason(int status)
{
  if (IsOffline(status)) return kOffline;
  if (const StatusRow* row = FindRow(status)) return row->reason;
  return status >= 0 && status < kFirstErrorStatus ? "" : kOtherError;
}

bool IsReadyToPrint(int status)
{
  return GetStatusReason(status).empty();
}

std::string GetStatusText(int status)
{
  if (IsOffline(status)) return "The printer does not answer: check that it is switched on and connected.";
  if (const StatusRow* row = FindRow(status)) return row->text;
  char text[128];
  if (status >= 2000 && status <= 3000) {
    std::snprintf(text, sizeof text, "System error %d: switch the printer off and on again.", status);
  } else if (IsReadyToPrint(status)) {
    return "";
  } else {
    std::snprintf(text, sizeof text, "The printer reports the unknown error %d.", status);
  }
  return text;
}

int GetMediaLevel(const PrinterReading& reading)
{
  if (reading.status == kOutOfRibbon) return 0;
  if (reading.initial <= 0 || reading.remain < 0) return kLevelUnknown;
  const long long percent = static_cast<long long>(reading.remain) * 100 / reading.initial;
  return static_cast<int>(std::clamp<long long>(percent, 0, 100));
}

const std::vector<std::string>& GetPrinterReasons()
{
  static const std::vector<std::string> reasons = [] {
    std::vector<std::string> all = {kOffline, kMediaLow, kOtherError};
    for (const StatusRow& row : kRows) {
      if (row.reason[0] != '\0' && std::find(all.begin(), all.end(), row.reason) == all.end())
        all.push_back(row.reason);
    }
    return all;
  }();
  return reasons;
}
