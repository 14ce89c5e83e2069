// What the scheduler is told of the printer during a job, in the lines of
// the CUPS backend protocol: its printer-state-reasons ("STATE: +reason",
// "STATE: -reason" once the condition is gone), the media left as a marker
// ("ATTR: marker-..."), the prints made ("PAGE: total N", which CUPS keeps as
// job-impressions-completed) and what the printer does ("INFO:"). Each line
// goes out when its value changes; the message can be said again while the
// job waits, so that a filter's message does not stay in its place.
//
// The first report of a job also takes back every reason of GetPrinterReasons
// that does not hold, so that none stays behind from an earlier job. Every
// call writes its lines at once: it blocks on the scheduler's pipe only.
#ifndef TQ58_PRINTERREPORT_H
#define TQ58_PRINTERREPORT_H

#include <set>
#include <string>

#include "BackendLog.h"
#include "PrinterCondition.h"

class PrinterReport {
public:
  explicit PrinterReport(const BackendLog& log) : log_(log) {}

  // A look at the printer: the reasons of its status and media, and the
  // marker when its level changed.
  void SetReading(const PrinterReading& reading);
  // The status of a print's answer: the reasons of the status, the media
  // level as last read.
  void SetStatus(int status);
  // The printer is not attached: offline-report alone.
  void SetOffline();
  // Prints made in this job so far.
  void SetPrintsMade(int prints);
  int GetPrintsMade() const { return printsMade_; }

  // Tells text ("INFO:") and keeps it for SayAgain.
  void Say(const std::string& text);
  void SayAgain() const;

private:
  void SetReasons(const std::set<std::string>& reasons);
  void SetLevel(int level);

  const BackendLog& log_;
  std::set<std::string> reasons_;
  bool reported_ = false;    // a STATE line went out in this job
  bool levelKnown_ = false;  // level_ was sent
  int level_ = kLevelUnknown;
  int printsMade_ = 0;
  std::string said_;
};

#endif
