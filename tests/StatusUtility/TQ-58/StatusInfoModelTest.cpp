// The status window's decoding and text building, without a window.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "StatusInfoModel.h"
#include "StatusMarkers.h"
#include "TempRoot.h"

namespace {

// Texts shown as "<key>", so a test sees which key was looked up.
std::string Bracketed(const char* key)
{
  return std::string("<") + key + ">";
}

class StatusModel : public ::testing::Test {
protected:
  // One tick's worth: the file's lines, then the refresh sequence.
  const StatusDisplay& Show(const std::string& text)
  {
    model.ParseInfoText(text);
    model.updateStatus();
    return model.GetDisplay();
  }
  const StatusDisplay& ShowOffline()
  {
    model.ReadInfoValues(nullptr);  // no information file: offline values
    model.updateStatus();
    return model.GetDisplay();
  }
  static std::string Media(const char* size, const char* initial, const char* remain, const char* status)
  {
    return std::string("PRINTER_STATUS=\"") + status + "\"\nMEDIA_SIZE=\"" + size + "\"\nMEDIA_INITIAL=\"" + initial +
           "\"\nMEDIA_REMAIN=\"" + remain + "\"\n";
  }
  StatusInfoModel model{&Bracketed};
};

TEST_F(StatusModel, FirstTickWithoutAFileShowsTheOfflinePrinter)
{
  const StatusDisplay& d = ShowOffline();
  EXPECT_EQ(d.status, "<st_99999>");
  EXPECT_EQ(d.icon, StatusIcon::kOffline);
  EXPECT_EQ(d.message, "<ms_00006>");  // offline: no media line added
  EXPECT_EQ(d.mediaSize, "---");
  EXPECT_EQ(d.mediaCount, "--- / ---  <sheets>");
  EXPECT_EQ(d.percent, 0);
  EXPECT_EQ(d.totalCount, "---");
  EXPECT_EQ(d.serialNumber, "---");
  EXPECT_EQ(d.firmVersion, "---");
  EXPECT_EQ(d.mediaGroupTitle, "<mediaGroupTitle>[ --- ]");
}

TEST_F(StatusModel, StatusAndMessageCodesAreReadAsIntegers)
{
  const StatusDisplay& d = Show("PRINTER_STATUS=\"01000\"\nPRINTER_MESSAGE=\"00100\"\nMEDIA_SIZE=\"150\"\n");
  EXPECT_EQ(d.status, "<st_01000>");
  EXPECT_EQ(d.icon, StatusIcon::kCoverOpen);
  EXPECT_EQ(d.message, "<ms_00100>");
  EXPECT_EQ(Show("PRINTER_STATUS=\"02610\"\nPRINTER_MESSAGE=\"00207\"\n").icon, StatusIcon::kSystemErr01);
  EXPECT_EQ(Show("PRINTER_MESSAGE=\"00007\"\n").message, "");
  EXPECT_EQ(Show("PRINTER_MESSAGE=\"\"\n").message, "");
}

TEST_F(StatusModel, StatusWithoutARowKeepsTheTextAndIconShownBefore)
{
  Show("PRINTER_STATUS=\"00001\"\nPRINTER_MESSAGE=\"00002\"\nMEDIA_SIZE=\"150\"\n");
  const StatusDisplay& d = Show("PRINTER_STATUS=\"00510\"\nPRINTER_MESSAGE=\"00004\"\n");
  EXPECT_EQ(d.status, "<st_00001>");
  EXPECT_EQ(d.icon, StatusIcon::kPrinting);
  EXPECT_EQ(d.message, "<ms_00004>");
  // An empty status is the offline printer even without the code 99999.
  const StatusDisplay& e = Show("PRINTER_STATUS=\"\"\n");
  EXPECT_EQ(e.status, "<st_99999>");
  EXPECT_EQ(e.icon, StatusIcon::kOffline);
}

TEST_F(StatusModel, UnknownMediaAddsTheMediaLineUnlessRibbonEndOrOffline)
{
  const StatusDisplay& idle = Show(Media("151", "50", "25", "00000") + "PRINTER_MESSAGE=\"00001\"\n");
  EXPECT_EQ(idle.mediaSize, "---");
  EXPECT_EQ(idle.message, "<ms_00001>\n<ms_00108>");
  EXPECT_EQ(idle.mediaCount, "0 / 50  <sheets>");
  EXPECT_EQ(idle.percent, 0);
  // With an empty message the text begins with the line feed.
  EXPECT_EQ(Show("PRINTER_MESSAGE=\"\"\n").message, "\n<ms_00108>");
  const StatusDisplay& ribbonEnd = Show(Media("151", "50", "25", "01200") + "PRINTER_MESSAGE=\"00103\"\n");
  EXPECT_EQ(ribbonEnd.message, "<ms_00103>");
  EXPECT_EQ(ribbonEnd.mediaCount, "0 / 50  <sheets>");
  EXPECT_EQ(Show(Media("", "50", "25", "99999") + "PRINTER_MESSAGE=\"00006\"\n").message, "<ms_00006>");
}

TEST_F(StatusModel, RemainingPrintsAndTheBar)
{
  const StatusDisplay& d = Show(Media("150", "50", "25", "00000"));
  EXPECT_EQ(d.mediaSize, "<size_00150>");
  EXPECT_EQ(d.mediaCount, "25 / 50  <sheets>");
  EXPECT_EQ(d.percent, 50);
  EXPECT_EQ(Show(Media("161", "3", "1", "00000")).percent, 33);
  EXPECT_EQ(Show(Media("161", "3", "3", "00000")).percent, 100);
  const StatusDisplay& ribbonEnd = Show(Media("150", "50", "25", "01200"));
  EXPECT_EQ(ribbonEnd.mediaCount, "0 / 50  <sheets>");
  EXPECT_EQ(ribbonEnd.percent, 0);
  // Odd counts are shown as they are, beyond either end of the bar.
  EXPECT_EQ(Show(Media("150", "50", "75", "00000")).percent, 150);
  EXPECT_EQ(Show(Media("150", "50", "-5", "00000")).percent, -10);
  EXPECT_EQ(Show(Media("150", "1", "2147483647", "00000")).percent, 2147483647);
  EXPECT_EQ(Show(Media("150", "-1", "2147483647", "00000")).percent, -2147483647 - 1);
}

TEST_F(StatusModel, MissingOrZeroCountsShowDashes)
{
  const StatusDisplay& zero = Show(Media("150", "0", "25", "00000"));
  EXPECT_EQ(zero.mediaCount, "--- / ---  <sheets>");
  EXPECT_EQ(zero.percent, 0);
  EXPECT_EQ(Show(Media("150", "50", "", "00000")).mediaCount, "--- / ---  <sheets>");
  EXPECT_EQ(Show(Media("150", "", "25", "00000")).mediaCount, "--- / ---  <sheets>");
}

TEST_F(StatusModel, MediaClassTitlesTheMediaFrame)
{
  EXPECT_EQ(Show("MEDIA_CLASS=\"0003\"\n").mediaGroupTitle, "<mediaGroupTitle>[ <mediaPurePremium> ]");
  EXPECT_EQ(Show("MEDIA_CLASS=\"1\"\n").mediaGroupTitle, "<mediaGroupTitle>[ <mediaDigital> ]");
  EXPECT_EQ(Show("MEDIA_CLASS=\"0004\"\n").mediaGroupTitle, "<mediaGroupTitle>[ --- ]");
  EXPECT_EQ(Show("MEDIA_CLASS=\"0\"\n").mediaGroupTitle, "<mediaGroupTitle>[ --- ]");
  EXPECT_EQ(Show("MEDIA_CLASS=\"\"\n").mediaGroupTitle, "<mediaGroupTitle>[ --- ]");
}

TEST_F(StatusModel, TotalCountIsRememberedUntilThePrinterGoesOffline)
{
  EXPECT_EQ(Show("PRINTER_STATUS=\"00000\"\nTOTAL_COUNT=\"012\"\n").totalCount, "12");
  EXPECT_EQ(Show("PRINTER_STATUS=\"00000\"\nTOTAL_COUNT=\"\"\n").totalCount, "12");
  EXPECT_EQ(Show("PRINTER_STATUS=\"00000\"\n").totalCount, "12");  // empty file between passes
  EXPECT_EQ(Show("").totalCount, "12");
  EXPECT_EQ(ShowOffline().totalCount, "---");
  EXPECT_EQ(Show("PRINTER_STATUS=\"\"\n").totalCount, "---");
  EXPECT_EQ(Show("PRINTER_STATUS=\"01000\"\nTOTAL_COUNT=\"\"\n").totalCount, "12");
  EXPECT_EQ(Show("TOTAL_COUNT=\"123456789012\"\n").totalCount, "123456789012");
}

TEST_F(StatusModel, SerialAndFirmwareAreShownAsRead)
{
  const StatusDisplay& d = Show("PRINTER_SERIAL_NO=\"AB%2012\"\nPRINTER_VERSION=\"\"1.20\"\"\n");
  EXPECT_EQ(d.serialNumber, "AB 12");
  EXPECT_EQ(d.firmVersion, "1.20");
}

class StatusModelFiles : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    model.PrepareLaunch("AB%2012", "Photo Printer");
  }
  void WriteInfo(const std::string& text) { root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", text); }
  TempRoot root;
  StatusInfoModel model{&Bracketed};
};

TEST_F(StatusModelFiles, InfoFileIsNamedAfterTheSerialText)
{
  EXPECT_EQ(model.GetFields().m_logFilePath, root.CacheFolder(false) + "/TQ-58_AB%2012.log");
  WriteInfo("PRINTER_STATUS=\"00001\"\nPRINTER_SERIAL_NO=\"AB%2012\"\n");
  int pauses = 0;
  model.ReadInfoValues([&] { ++pauses; });
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(model.GetFields().m_statusStr_Log, "00001");
  EXPECT_EQ(model.GetFields().m_serialStr_Log, "AB 12");
}

TEST_F(StatusModelFiles, FailedReadIsRetriedOnceThenOffline)
{
  WriteInfo("PRINTER_STATUS=\"00000\"\nMEDIA_SIZE=\"150\"\n");
  model.ReadInfoValues(nullptr);
  // Not UTF-8 (the daemon was caught mid-write); the retry finds the new file.
  WriteInfo("PRINTER_STATUS=\"\xFF");
  int pauses = 0;
  model.ReadInfoValues([&] {
    ++pauses;
    WriteInfo("PRINTER_STATUS=\"01100\"\n");
  });
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(model.GetFields().m_statusStr_Log, "01100");
  EXPECT_EQ(model.GetFields().m_sizeStr_Log, "150");
  // Still not UTF-8 at the retry: the offline values.
  WriteInfo("\xC3");
  model.ReadInfoValues([&] { ++pauses; });
  EXPECT_EQ(pauses, 2);
  EXPECT_EQ(model.GetFields().m_statusStr_Log, "99999");
  EXPECT_EQ(model.GetFields().m_messageStr_Log, "00006");
  EXPECT_EQ(model.GetFields().m_sizeStr_Log, "");
}

TEST_F(StatusModelFiles, MissingFileGivesOfflineValuesWithoutARetry)
{
  WriteInfo("PRINTER_STATUS=\"00000\"\n");
  model.ReadInfoValues(nullptr);
  std::remove(model.GetFields().m_logFilePath->c_str());
  int pauses = 0;
  model.ReadInfoValues([&] { ++pauses; });
  EXPECT_EQ(pauses, 0);
  EXPECT_EQ(model.GetFields().m_statusStr_Log, "99999");
}

// A printer list as a test hands it over.
class FixedPrinterList : public PrinterListSource {
public:
  bool GetPrinterList(std::vector<PrinterListEntry>* printers) override
  {
    *printers = entries;
    return available;
  }
  std::vector<PrinterListEntry> entries;
  bool available = true;
};

TEST(StatusModelPrinters, PrinterIsFoundByItsExactName)
{
  StatusInfoModel model{&Bracketed};
  model.PrepareLaunch("AB%2012", "Photo Printer");
  EXPECT_EQ(model.GetWindowTitle(), "Photo Printer");
  FixedPrinterList list;
  list.available = false;
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kSkipped);
  list.available = true;
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kGone);  // empty list
  list.entries = {{"Other", "Other", "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%2012"},
                  {"q", "photo printer", ""},
                  {"q2", "", ""}};
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kGone);
  list.entries.push_back({"TQ58", "Photo Printer", ""});
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kPresent);
}

TEST(StatusModelPrinters, WithoutANameThePrinterIsFoundByTheSerialInItsUri)
{
  StatusInfoModel model{&Bracketed};
  model.PrepareLaunch("AB%2012", "");
  EXPECT_EQ(model.GetWindowTitle(), "AB 12");
  FixedPrinterList list;
  list.entries = {{"A", "A", "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%20123"}, {"B", "", ""}};
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kGone);
  list.entries.push_back({"C", "C", "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%2012"});
  EXPECT_EQ(model.CheckPrinterList(list), PrinterCheck::kPresent);
  EXPECT_EQ(GetSerialTextOfDeviceUri("x://y?serial=S1&serial=S2"), "S1&serial=S2");
  EXPECT_EQ(GetSerialTextOfDeviceUri("x://y?serial="), "");
  EXPECT_EQ(GetSerialTextOfDeviceUri("x://y"), "");
}

}  // namespace
