#include "PrinterReport.h"

namespace {

constexpr char kOffline[] = "offline-report";
constexpr char kMediaLow[] = "media-low-warning";
constexpr int kOutOfPaper = 1100;
constexpr int kOutOfRibbon = 1200;

// The one marker: the media set (paper and a cyan, magenta and yellow ribbon).
constexpr char kMarker[] =
    "marker-colors=#00FFFF#FF00FF#FFFF00 marker-high-levels=100 marker-low-levels=10 "
    "marker-names='Ribbon and paper' marker-types=ink-ribbon";

std::string Joined(const std::set<std::string>& words)
{
  std::string text;
  for (const std::string& w : words) text += (text.empty() ? "" : ",") + w;
  return text;
}

}  // namespace

void PrinterReport::SetReasons(const std::set<std::string>& reasons)
{
  // The first report takes back whatever an earlier job may have left.
  const std::vector<std::string>& all = GetPrinterReasons();
  const std::set<std::string> before = reported_ ? reasons_ : std::set<std::string>(all.begin(), all.end());
  std::set<std::string> gone;
  for (const std::string& r : before) {
    if (reasons.count(r) == 0) gone.insert(r);
  }
  std::set<std::string> added;
  for (const std::string& r : reasons) {
    if (reasons_.count(r) == 0) added.insert(r);
  }
  // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on "-" + std::string.
  if (!gone.empty()) log_.State(std::string("-").append(Joined(gone)));
  if (!added.empty()) log_.State(std::string("+").append(Joined(added)));
  reasons_ = reasons;
  reported_ = true;
}

void PrinterReport::SetLevel(int level)
{
  if (levelKnown_ && level == level_) return;
  level_ = level;
  levelKnown_ = true;
  log_.Attr(std::string(kMarker) + " marker-levels=" + std::to_string(level));
}

void PrinterReport::SetReading(const PrinterReading& reading)
{
  if (reading.status != kStatusFailed) SetLevel(GetMediaLevel(reading));
  SetStatus(reading.status);
}

void PrinterReport::SetStatus(int status)
{
  std::set<std::string> reasons;
  const std::string reason = GetStatusReason(status);
  if (!reason.empty()) reasons.insert(reason);
  const bool mediaOut = status == kOutOfPaper || status == kOutOfRibbon;
  if (reason != kOffline && !mediaOut && levelKnown_ && level_ >= 0 && level_ <= kMediaLowLevel) {
    reasons.insert(kMediaLow);
  }
  SetReasons(reasons);
}

void PrinterReport::SetOffline()
{
  SetReasons({kOffline});
}

void PrinterReport::SetPrintsMade(int prints)
{
  if (prints == printsMade_) return;
  printsMade_ = prints;
  log_.Page("total " + std::to_string(prints));
}

void PrinterReport::Say(const std::string& text)
{
  said_ = text;
  log_.Info(text);
}

void PrinterReport::SayAgain() const
{
  if (!said_.empty()) log_.Info(said_);
}
