#include "PrinterStatus.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "DeviceInterface.h"
#include "DriverData.h"
#include "PhotoPrinterIF.h"
#include "PrinterCondition.h"

namespace {

struct ReasonRow {
  const char* reason;  // the backend's CUPS reason
  pappl_preason_t preason;
};

// The backend's reasons (PrinterCondition.h) onto PAPPL's fixed keywords.
constexpr ReasonRow kReasons[] = {
    {"cover-open-error", PAPPL_PREASON_COVER_OPEN},
    {"output-tray-missing-error", PAPPL_PREASON_OTHER},
    {"media-empty-error", PAPPL_PREASON_MEDIA_EMPTY},
    {"marker-supply-empty-error", PAPPL_PREASON_MARKER_SUPPLY_EMPTY},
    {"media-jam-error", PAPPL_PREASON_MEDIA_JAM},
    {"marker-supply-missing-error", PAPPL_PREASON_MARKER_SUPPLY_EMPTY},
    {"media-needed-error", PAPPL_PREASON_MEDIA_NEEDED},
    {"other-error", PAPPL_PREASON_OTHER},
    {"offline-report", PAPPL_PREASON_OFFLINE},
};

// Every reason this module sets, cleared before the new ones are set.
constexpr pappl_preason_t kOurReasons = PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_OTHER | PAPPL_PREASON_MEDIA_EMPTY |
                                        PAPPL_PREASON_MARKER_SUPPLY_EMPTY | PAPPL_PREASON_MEDIA_JAM |
                                        PAPPL_PREASON_MEDIA_NEEDED | PAPPL_PREASON_OFFLINE | PAPPL_PREASON_MEDIA_LOW;

constexpr unsigned kPollSeconds = 1;

std::mutex gLastMutex;
std::map<pappl_printer_t*, PrinterState> gLast;

// A count reply: "0000" (or "00") and the number; -1 when absent.
long CountOf(long length, const char* text, int prefix)
{
  if (length <= prefix) return -1;
  char* end = nullptr;
  const long value = std::strtol(text + prefix, &end, 10);
  return end == text + prefix || value < 0 ? -1 : value;
}

PrinterReading GetReading(const PrinterState& state)
{
  PrinterReading reading;
  reading.status = state.status;
  reading.initial = state.initial;
  reading.remain = state.remain;
  return reading;
}

void SetSupply(pappl_printer_t* printer, const PrinterState& state)
{
  pappl_supply_t supply{};
  supply.color = PAPPL_SUPPLY_COLOR_MULTIPLE;
  supply.type = PAPPL_SUPPLY_TYPE_INK_RIBBON;
  supply.is_consumed = true;
  supply.level = GetMediaLevel(GetReading(state));
  if (state.remain >= 0)
    std::snprintf(supply.description, sizeof supply.description, "Ribbon and paper (%d prints left)", state.remain);
  else std::snprintf(supply.description, sizeof supply.description, "Ribbon and paper");
  papplPrinterSetSupplies(printer, 1, &supply);
}

}  // namespace

pappl_preason_t GetStateReasons(const PrinterState& state)
{
  pappl_preason_t reasons = PAPPL_PREASON_NONE;
  const std::string reason = GetStatusReason(state.status);
  for (const ReasonRow& row : kReasons) {
    if (reason == row.reason) reasons |= row.preason;
  }
  const int level = GetMediaLevel(GetReading(state));
  if (reasons == PAPPL_PREASON_NONE && level >= 0 && level <= kMediaLowLevel) reasons |= PAPPL_PREASON_MEDIA_LOW;
  return reasons;
}

PrinterState ReadPrinterState(pappl_device_t* device)
{
  DeviceInterface intf(device);
  PrinterState state;
  const PrinterReading reading = ReadPrinter(&intf);
  state.status = reading.status;
  state.initial = reading.initial;
  state.remain = reading.remain;
  state.message = GetStatusText(reading.status);
  if (reading.status == kStatusFailed) return state;
  char text[64];
  state.totalCount = CountOf(GetTotalCount(&intf, text, sizeof text), text, 2);
  const long size = CountOf(GetMediaSize(&intf, text, sizeof text), text, 2);
  state.mediaSize = static_cast<int>(size);
  if (GetMediaClass(&intf, text, sizeof text) >= 4) state.mediaClass.assign(text, 4);
  return state;
}

void ShowPrinterState(pappl_printer_t* printer, const PrinterState& state)
{
  papplPrinterSetReasons(printer, GetStateReasons(state), kOurReasons & ~GetStateReasons(state));
  SetSupply(printer, state);
  if (const char* media = GetMediaForLoadedSize(state.mediaSize)) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    if (std::string(data.media_ready[0].size_name) != media) {
      pappl_media_col_t ready = data.media_ready[0];
      std::snprintf(ready.size_name, sizeof ready.size_name, "%s", media);
      ready.size_width = state.mediaSize == 161 ? 11430 : 10160;
      ready.size_length = 15240;
      papplPrinterSetReadyMedia(printer, 1, &ready);
    }
  }
  std::lock_guard<std::mutex> lock(gLastMutex);
  gLast[printer] = state;
}

bool GetLastPrinterState(pappl_printer_t* printer, PrinterState* state)
{
  std::lock_guard<std::mutex> lock(gLastMutex);
  const auto it = gLast.find(printer);
  if (it == gLast.end()) return false;
  *state = it->second;
  return true;
}

void ForgetPrinterState(pappl_printer_t* printer, pappl_pr_driver_data_t*)
{
  std::lock_guard<std::mutex> lock(gLastMutex);
  gLast.erase(printer);
}

bool UpdatePrinterStatus(pappl_printer_t* printer)
{
  pappl_device_t* device = papplPrinterOpenDevice(printer);
  if (device == nullptr) return true;  // a job holds it: the job shows the state
  ShowPrinterState(printer, ReadPrinterState(device));
  papplPrinterCloseDevice(printer);
  return true;
}

bool WaitUntilReady(pappl_job_t* job, pappl_device_t* device, PrinterState* state)
{
  pappl_printer_t* printer = papplJobGetPrinter(job);
  for (;;) {
    *state = ReadPrinterState(device);
    ShowPrinterState(printer, *state);
    if (IsReadyToPrint(state->status)) return true;
    papplJobSetMessage(job, "%s", state->message.c_str());
    if (papplJobIsCanceled(job)) return false;
    sleep(kPollSeconds);
    if (papplJobIsCanceled(job)) return false;
  }
}
