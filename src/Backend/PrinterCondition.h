// What the backend makes of the printer's state: the printer's status code
// and media counts as read before each print, the CUPS printer-state-reason
// each status code stands for, whether a print may be sent, a line for the
// user, and the level of the media left.
//
// Every status code the status window shows has its reason:
//
//   0 ready, 1 printing, 500 cooling down, 510 paused to cool,
//   900 standby                  none: the printer takes prints
//   1000 cover open              cover-open-error
//   1010 scrap box missing       output-tray-missing-error
//   1100 out of paper            media-empty-error
//   1200 out of ribbon           marker-supply-empty-error
//   1300 paper jam               media-jam-error
//   1400 ribbon error            marker-supply-missing-error
//   1500 paper error             media-needed-error
//   1600, 2000 ... 3000 errors   other-error
//   no answer (or 99999)         offline-report
//   any other code: below 1000 none, else other-error
//
// The printer takes no print under an "-error" reason or while it does not
// answer: the job waits. Besides, media-low-warning stands while the prints
// left are at most kMediaLowLevel percent of the media's total.
#ifndef TQ58_PRINTERCONDITION_H
#define TQ58_PRINTERCONDITION_H

#include <string>
#include <vector>

#include "PhotoPrinterIF.h"
#include "UsbTransport.h"

inline constexpr int kMediaLowLevel = 10;  // percent
inline constexpr int kLevelUnknown = -1;   // a marker level CUPS shows as unknown

// One look at the printer.
struct PrinterReading {
  int status = kStatusFailed;  // STATUS, kStatusFailed without an answer
  int initial = -1;            // prints of a full media set (INFO MQTY_DEFAULT), -1 unknown
  int remain = -1;             // prints left (INFO MQTY), -1 unknown
};

// STATUS, INFO MQTY_DEFAULT and INFO MQTY on intf; the counts are read only
// when the status came. Blocks in the three exchanges.
PrinterReading ReadPrinter(UsbInterface* intf);

// The printer-state-reason keyword (with its severity suffix) of status, or
// the empty text when it has none.
std::string GetStatusReason(int status);

// True when the printer takes a print in status.
bool IsReadyToPrint(int status);

// A line for the user on what the printer does in status ("The printer is
// out of paper: load a new paper roll."); empty for ready, printing, standby.
std::string GetStatusText(int status);

// The media left as a percentage of a full set (0 to 100, truncated), 0 in
// the out-of-ribbon status, kLevelUnknown when the counts are unknown or the
// full set is 0.
int GetMediaLevel(const PrinterReading& reading);

// Every reason GetStatusReason, the offline report and the low-media warning
// can give, each once.
const std::vector<std::string>& GetPrinterReasons();

#endif
