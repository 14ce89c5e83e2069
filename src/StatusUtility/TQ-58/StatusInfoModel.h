// The status window's state and logic without any window: the values read from
// the printer information file, the status, message, media and counter texts
// built from them, and the printer-list check of each tick. The window class
// derives from it and only shows what it computes.
#ifndef TQ58_STATUSINFOMODEL_H
#define TQ58_STATUSINFOMODEL_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "InfoFileText.h"
#include "PrinterList.h"
#include "StatusTables.h"

// Looks up the localized text of a key; returns the key itself when there is none.
using TextLookup = std::function<std::string(const char* key)>;

// The window's fields, named as the window names them.
struct StatusInfoFields : InfoFileValues {
  int32_t m_model = 4;                       // model variant; its media table and count format apply
  std::string m_argSerialNo;                 // serial text, the first argument
  std::optional<std::string> m_logFilePath;  // the information file; absent until launching
  std::string m_statusStr;                   // status text
  std::string m_messageStr;                  // message text
  std::string m_sizeStr;                     // media size text
  std::string m_halfSizeStr, m_initialStr, m_remainStr, m_remainHalfStr;  // unused by variant 4
  std::string m_totalCountStr;                                            // last non-empty total count
  std::string m_firmVersionStr;                                           // unused
  std::string m_sizeDitailsStr;                                           // remaining-prints text
  StatusIcon m_stsImg = StatusIcon::kOffline;                             // the icon to show
};

// Everything the window shows after a refresh.
struct StatusDisplay {
  std::string mediaGroupTitle;
  std::string mediaSize;
  std::string mediaCount;
  int32_t percent = 0;  // may lie outside 0..100 when the counts are odd
  StatusIcon icon = StatusIcon::kOffline;
  std::string status;
  std::string message;
  std::string totalCount;
  std::string serialNumber;
  std::string firmVersion;
};

enum class PrinterCheck {
  kSkipped,  // the list could not be obtained: no check this tick
  kPresent,  // the window's printer is in the list
  kGone,     // it is not (or the list is empty): the window ends
};

class StatusInfoModel {
public:
  explicit StatusInfoModel(TextLookup lookup);
  virtual ~StatusInfoModel() = default;
  StatusInfoModel(const StatusInfoModel&) = delete;
  StatusInfoModel& operator=(const StatusInfoModel&) = delete;

  // Takes the serial text and the printer's name (empty: none was given) and
  // sets the information file's path. Without a name the printer is recognised
  // by the serial text in its device URI.
  void PrepareLaunch(const std::string& serialNo, const std::string& printerName);
  // The printer's name, or without one the serial number with spaces.
  std::string GetWindowTitle() const;

  // Step one of a tick: is the window's printer still in the system's list?
  PrinterCheck CheckPrinterList(PrinterListSource& printers) const;
  // Reads and parses the information file; one retry after pauseBeforeRetry,
  // then the offline values. A missing file gives the offline values at once.
  void ReadInfoValues(const std::function<void()>& pauseBeforeRetry);
  // Parses text as the contents of the information file.
  void ParseInfoText(std::string_view text);

  int32_t getStatus();
  void getStatusMessageString();
  virtual void setMediaGroupTitle();
  int32_t getMediaSizeString(int32_t model);
  // The refresh sequence after each read: every text, then updateUI.
  void updateStatus();
  // Builds the shown texts for the percentage (the total count remembered here).
  virtual void updateUI(int32_t percentage);

  const StatusInfoFields& GetFields() const { return fields_; }
  const StatusDisplay& GetDisplay() const { return display_; }

protected:
  std::string Text(const char* key) const;

private:
  bool IsWindowPrinter(const PrinterListEntry& printer) const;
  void UpdateCountTexts(bool zeroRemaining);
  std::string GetTotalCountText();

  TextLookup lookup_;
  std::string printerName_;
  StatusInfoFields fields_;
  StatusDisplay display_;
};

#endif
