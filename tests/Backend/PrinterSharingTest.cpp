// The backend leaving the printer to the status daemon between prints, with
// no daemon running: a marker nobody takes up costs one wait, not one per print.
#include <cups/backend.h>

#include <cstdlib>
#include <filesystem>

#include "BackendJobFixture.h"
#include "DaemonTestUtil.h"

namespace {

using PrinterSharingTest = BackendJobTest;

// The waits the backend logged, in milliseconds.
std::vector<long> Waits(const std::vector<std::string>& lines)
{
  const std::string prefix = "DEBUG: Waited ";
  std::vector<long> waits;
  for (const std::string& l : lines) {
    if (l.rfind(prefix, 0) == 0) waits.push_back(std::strtol(l.c_str() + prefix.size(), nullptr, 10));
  }
  return waits;
}

TEST_F(PrinterSharingTest, AMarkerNobodyTakesUpDelaysOnlyTheFirstPrint)
{
  config_.claimRetryMs = 200;  // logged: waits of 200 ms and more
  config_.yieldMs = 0;
  config_.markerWaitMs = 400;
  config_.markerPollMs = 10;
  root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_" + kSerialText + "_TC_UTIL", "");
  PipeFeeder input(JobStream(3, 1000));
  EXPECT_EQ(Run(Job("41", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 3; }, 3000));
  int longWaits = 0;
  for (long ms : Waits(lines_.Lines())) longWaits += ms >= 400;
  EXPECT_EQ(longWaits, 1) << lines_.Text();
  // The marker is the daemon's to take: the backend only looks.
  EXPECT_TRUE(std::filesystem::exists(root_.CacheFolder(false) + "/TQ-58_" + kSerialText + "_TC_UTIL"));
}

TEST_F(PrinterSharingTest, WithoutMarkersThePrinterIsClaimedAgainAtOnce)
{
  config_.claimRetryMs = 200;
  PipeFeeder input(JobStream(3, 1000));
  EXPECT_EQ(Run(Job("42", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 3; }, 3000));
  EXPECT_TRUE(Waits(lines_.Lines()).empty()) << lines_.Text();
  // Each print came on a connection (a claim) of its own, after the one that found the printer.
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), 4);
}

}  // namespace
