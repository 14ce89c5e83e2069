// The running daemon's passes: markers, a silent printer, an unplug mid-pass.
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "InfoTq58Fixture.h"

namespace {

// The modification time of path in nanoseconds, 0 when it is missing.
long long ModifiedNs(const std::string& path)
{
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

class InfoTq58PassTest : public InfoTq58Test {
protected:
  // One printer "p1" with serial S, registered and with its first file.
  void StartRegistered(int status = 0)
  {
    Plug("p1", "S", status);
    StartDaemon();
    ASSERT_TRUE(WaitForQueue(kBaseQueue, kTestUri + "S", 5000)) << DaemonOutput();
    ASSERT_TRUE(WaitForInfo("S", "MODEL", "TQ-58", 3000));
  }
};

}  // namespace

TEST_F(InfoTq58PassTest, WithoutMarkersARegisteredPrinterGetsNoTraffic)
{
  StartRegistered();
  // Let a pass that may have begun before the queue appeared finish.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  emulator_->ClearCommandLog("p1");
  const int connections = emulator_->GetConnectionCount("p1");
  const long long written = ModifiedNs(InfoFile("S"));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // two and a half passes
  EXPECT_TRUE(emulator_->GetCommandLog("p1").empty());
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), connections);
  EXPECT_EQ(ModifiedNs(InfoFile("S")), written);
}

TEST_F(InfoTq58PassTest, UtilMarkerKeepsTheFileFreshWithoutACount)
{
  StartRegistered();
  Touch("S", "_UTIL");
  std::set<long long> writes;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(3300);
  while (std::chrono::steady_clock::now() < end) {
    writes.insert(ModifiedNs(InfoFile("S")));
    EXPECT_EQ(Info("S", "TOTAL_COUNT"), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_GE(writes.size(), 3u);  // about once a second
  EXPECT_LE(writes.size(), 5u);
  EXPECT_TRUE(std::filesystem::exists(Marker("S", "_UTIL")));
}

TEST_F(InfoTq58PassTest, OneTimeMarkersAreConsumedAndReadTheCountUnlessStarting)
{
  StartRegistered();
  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.totalCount = 1234; });
  Touch("S", "_TC_UTIL");
  ASSERT_TRUE(WaitForInfo("S", "TOTAL_COUNT", "00001234", 3000));
  EXPECT_FALSE(std::filesystem::exists(Marker("S", "_TC_UTIL")));

  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 900; });
  emulator_->ClearCommandLog("p1");
  Touch("S", "_START_UTIL");
  ASSERT_TRUE(WaitForInfo("S", "PRINTER_STATUS", "00900", 3000));
  EXPECT_EQ(Info("S", "TOTAL_COUNT"), "");
  EXPECT_FALSE(std::filesystem::exists(Marker("S", "_START_UTIL")));
  for (const std::string& command : emulator_->GetCommandLog("p1")) EXPECT_NE(command, "MNT_RD COUNTER_LIFE");
}

TEST_F(InfoTq58PassTest, SilentPrinterEndsItsPassAndTheNextPassRecovers)
{
  StartRegistered();
  EmulatorFaultSpec fault;
  fault.kind = EmulatorFault::NoReply;
  fault.query = "STATUS";
  fault.count = 1;
  ASSERT_TRUE(emulator_->InjectFault("p1", fault));
  Touch("S", "_UTIL");
  // The unanswered status costs one read time-out (10 s); the pass still writes the rest.
  ASSERT_TRUE(WaitForInfo("S", "PRINTER_STATUS", "99999", 13000)) << DaemonOutput();
  EXPECT_EQ(Info("S", "PRINTER_VERSION"), "1.00");
  EXPECT_TRUE(WaitForInfo("S", "PRINTER_STATUS", "00000", 2500));
}

TEST_F(InfoTq58PassTest, UnplugDuringAPassLeavesTheOfflineFileAndAReplugStartsAfresh)
{
  StartRegistered();
  EmulatorFaultSpec slow;
  slow.kind = EmulatorFault::SlowReply;
  slow.query = "FVER";
  slow.delayMs = 3000;
  slow.count = -1;
  ASSERT_TRUE(emulator_->InjectFault("p1", slow));
  emulator_->ClearCommandLog("p1");
  Touch("S", "_UTIL");
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetCommandLog("p1").size() >= 2; }, 3000));  // STATUS, FVER
  ASSERT_TRUE(emulator_->Unplug("p1"));
  ASSERT_TRUE(WaitForInfo("S", "PRINTER_STATUS", "99999", 3000)) << DaemonOutput();
  EXPECT_EQ(Info("S", "MEDIA_SIZE"), "");
  Plug("p1", "S");
  EXPECT_TRUE(WaitForInfo("S", "PRINTER_STATUS", "00000", 4000));
}
