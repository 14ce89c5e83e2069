// What the backend tells the scheduler of the printer, and how a job meets a
// printer that cannot print or goes away: the reason of every status code,
// the media marker, the prints made, a job that waits with its reason shown
// and prints once the printer can, and no print sent twice when the printer
// goes away after taking it.
#include <cups/backend.h>

#include <set>

#include "BackendJobFixture.h"
#include "DaemonTestUtil.h"
#include "PrinterCondition.h"
#include "PrinterLink.h"
#include "PrinterReport.h"
#include "UsbIdsTQ58.h"

namespace {

const std::string kMarker =
    "ATTR: marker-colors=#00FFFF#FF00FF#FFFF00 marker-high-levels=100 marker-low-levels=10 "
    "marker-names='Ribbon and paper' marker-types=ink-ribbon marker-levels=";

TEST(PrinterCondition, EveryStatusTheWindowShowsHasItsReason)
{
  const std::vector<std::pair<int, std::string>> table = {
      {0, ""},
      {1, ""},
      {500, ""},
      {510, ""},
      {900, ""},
      {1000, "cover-open-error"},
      {1010, "output-tray-missing-error"},
      {1100, "media-empty-error"},
      {1200, "marker-supply-empty-error"},
      {1300, "media-jam-error"},
      {1400, "marker-supply-missing-error"},
      {1500, "media-needed-error"},
      {1600, "other-error"},
      {2000, "other-error"},
      {2610, "other-error"},
      {3000, "other-error"},
      {99999, "offline-report"},
      {kStatusFailed, "offline-report"},
      // Codes no table knows: a working printer below 1000, an error above.
      {700, ""},
      {999, ""},
      {2650, "other-error"},
      {4000, "other-error"},
      {-3, "other-error"},
  };
  const std::vector<std::string>& all = GetPrinterReasons();
  for (const auto& [status, reason] : table) {
    EXPECT_EQ(GetStatusReason(status), reason) << status;
    EXPECT_EQ(IsReadyToPrint(status), reason.empty()) << status;
    // A printer that cannot print always says why and what to do.
    if (!reason.empty()) {
      EXPECT_NE(GetStatusText(status), "") << status;
      EXPECT_NE(std::find(all.begin(), all.end(), reason), all.end()) << reason;
    }
  }
  EXPECT_EQ(GetStatusText(2610), "System error 2610: switch the printer off and on again.");
  EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), all.size());
}

TEST(PrinterCondition, TheMediaLevelIsThePartOfAFullSetLeft)
{
  const auto level = [](int status, int initial, int remain) { return GetMediaLevel({status, initial, remain}); };
  EXPECT_EQ(level(0, 50, 25), 50);
  EXPECT_EQ(level(0, 3, 1), 33);
  EXPECT_EQ(level(0, 50, 50), 100);
  EXPECT_EQ(level(0, 50, 70), 100);
  EXPECT_EQ(level(1100, 50, 0), 0);
  EXPECT_EQ(level(1200, 50, 40), 0);  // out of ribbon: nothing left, whatever the count says
  EXPECT_EQ(level(0, 0, 5), kLevelUnknown);
  EXPECT_EQ(level(0, 50, -1), kLevelUnknown);
}

TEST(PrinterReport, ReasonsAndMarkerGoOutWhenTheyChangeAndAreTakenBack)
{
  LineCollector lines;
  const BackendLog log = lines.Log();
  PrinterReport report(log);
  report.SetReading({1100, 50, 0});
  // The first report takes back whatever an earlier job left.
  std::set<std::string> others(GetPrinterReasons().begin(), GetPrinterReasons().end());
  others.erase("media-empty-error");
  std::string gone;
  for (const std::string& r : others) gone += (gone.empty() ? "" : ",") + r;
  EXPECT_EQ(lines.Lines(), (std::vector<std::string>{kMarker + "0", "STATE: -" + gone, "STATE: +media-empty-error"}));

  const size_t before = lines.Lines().size();
  report.SetReading({0, 50, 50});
  report.SetReading({0, 50, 50});
  report.SetReading({0, 50, 5});
  report.SetStatus(1300);  // a print's answer: the level stays as read
  report.SetOffline();
  report.SetPrintsMade(1);
  report.SetPrintsMade(1);
  const std::vector<std::string> all = lines.Lines();
  EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
            (std::vector<std::string>{kMarker + "100", "STATE: -media-empty-error", kMarker + "10",
                                      "STATE: +media-low-warning", "STATE: +media-jam-error",
                                      "STATE: -media-jam-error,media-low-warning", "STATE: +offline-report",
                                      "PAGE: total 1"}));
}

using PrinterStateTest = BackendJobTest;

TEST_F(PrinterStateTest, AJobWaitsWhileThePrinterCannotPrintAndPrintsOnceItCan)
{
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 1100;
    s.mediaRemain = 0;
  }));
  const std::string waiting =
      "INFO: The printer is out of paper: load a new paper roll. The job goes on once that is done.";
  int said = 0, printsWhileWaiting = -1;
  bool othersGotIt = true;
  lines_.OnLine([&](const std::string& line) {
    if (line != waiting) return;
    // Left free between two looks: another program gets the printer.
    std::vector<UsbDeviceRef> devices;
    PrinterHandle other;
    othersGotIt = othersGotIt && bus_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices) == kUsbOk &&
                  devices.size() == 1 &&
                  OpenPrinterInterface(bus_.get(), devices[0], 0, config_, nullptr, &other) == kUsbOk;
    if (++said < 3) return;
    printsWhileWaiting = emulator_->GetPrintCount("p1");
    emulator_->Update("p1", [](EmulatedPrinterState& s) {
      s.status = 0;
      s.mediaRemain = 50;
    });
  });
  PipeFeeder input(JobStream(2, 1000));
  EXPECT_EQ(Run(Job("51", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_GE(said, 3) << lines_.Text();
  EXPECT_EQ(printsWhileWaiting, 0);
  EXPECT_TRUE(othersGotIt);
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000));
  EXPECT_TRUE(lines_.Has("STATE: +media-empty-error"));
  EXPECT_TRUE(lines_.Has("STATE: -media-empty-error"));
  EXPECT_TRUE(lines_.Has(kMarker + "0"));
  EXPECT_TRUE(lines_.Has(kMarker + "100"));
  EXPECT_TRUE(lines_.Has(kMarker + "98"));  // read before the second print
  EXPECT_TRUE(lines_.Has("PAGE: total 1"));
  EXPECT_TRUE(lines_.Has("PAGE: total 2"));
  EXPECT_EQ(lines_.Lines().back(), "INFO: Sent 2 print(s) to the printer.");
}

TEST_F(PrinterStateTest, APrintTakenJustBeforeThePrinterWentIsNotSentAgain)
{
  // Print 1 is in, then the printer is gone before it answers the STATUS
  // query behind it. Its prints are kept as files: they outlast the unplug.
  const std::string before = root_.Path() + "/before";
  ASSERT_TRUE(emulator_->Update("p1", [&](EmulatedPrinterState& s) { s.saveFolder = before; }));
  EmulatorFaultSpec gone;
  gone.kind = EmulatorFault::Unplug;
  gone.query = "START";
  ASSERT_TRUE(emulator_->InjectFault("p1", gone));
  lines_.OnLine([&](const std::string& line) {
    if (line != "STATE: +offline-report") return;
    WaitUntil([&] { return !emulator_->IsPlugged("p1"); }, 3000);
    Plug();
  });
  PipeFeeder input(JobStream(3, 1000));
  EXPECT_EQ(Run(Job("52", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_EQ(ReadText(before + "/p1-print-0001-Y.bmp"), PlanePayload(1, 0, 1000));
  EXPECT_FALSE(std::filesystem::exists(before + "/p1-print-0002-Y.bmp"));
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000)) << lines_.Text();
  const std::vector<EmulatedPrint> after = emulator_->GetPrints("p1");
  EXPECT_EQ(after[0].planes[0], PlanePayload(2, 0, 1000));
  EXPECT_EQ(after[1].planes[0], PlanePayload(3, 0, 1000));
  EXPECT_TRUE(lines_.Has("PAGE: total 3"));
  EXPECT_FALSE(lines_.Has("PAGE: total 4"));
}

TEST_F(PrinterStateTest, APrinterGoneBetweenTwoPrintsGetsOnlyThePrintsNotYetSent)
{
  const std::string waiting = "INFO: Waiting for the TQ-58 printer with serial AB%2012 to be connected.";
  std::vector<EmulatedPrint> before;
  int said = 0;
  lines_.OnLine([&](const std::string& line) {
    if (line == "PAGE: total 1") {
      before = emulator_->GetPrints("p1");
      emulator_->Unplug("p1");
    }
    if (line == waiting && ++said == 3) Plug();
  });
  PipeFeeder input(JobStream(3, 1000));
  EXPECT_EQ(Run(Job("53", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  ASSERT_EQ(before.size(), 1u) << lines_.Text();
  EXPECT_EQ(said, 3);
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000)) << lines_.Text();
  const std::vector<EmulatedPrint> after = emulator_->GetPrints("p1");
  EXPECT_EQ(after[0].planes[0], PlanePayload(2, 0, 1000));
  EXPECT_EQ(after[1].planes[0], PlanePayload(3, 0, 1000));
  EXPECT_TRUE(lines_.Has("STATE: -offline-report"));
  EXPECT_TRUE(lines_.Has("PAGE: total 3"));
}

}  // namespace
