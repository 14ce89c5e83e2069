// The backend on the kernel's USB stack: a job of the filter's packets
// delivered unchanged, an unplug in the middle of a plane and the job going
// on after the printer is plugged in again, and jobs while the daemon polls.
#include <algorithm>

#include "UsbVmFixture.h"

namespace {

constexpr int kJobWaitMs = 180000;

class UsbVmJobTest : public UsbVmTest {
protected:
  void SetUp() override
  {
    UsbVmTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    stream_ = GetFilterStream();
    ASSERT_FALSE(stream_.empty());
    jobFile_ = WriteFile("job.bin", stream_);
  }

  // Whether print is the stream's print, byte for byte.
  void ExpectPrintOfStream(const EmulatedPrint& print) const
  {
    EXPECT_TRUE(print.multiCut == GetPayload(stream_, "IMAGE MULTICUT"));
    ASSERT_EQ(print.planes.size(), 3u);
    const char* planes[3] = {"IMAGE YPLANE", "IMAGE MPLANE", "IMAGE CPLANE"};
    for (int i = 0; i < 3; ++i) {
      const std::string expected = GetPayload(stream_, planes[i]);
      EXPECT_GT(expected.size(), 1000000u);
      EXPECT_TRUE(print.planes[i] == expected)
          << planes[i] << ": " << print.planes[i].size() << " bytes came, " << expected.size() << " were sent";
    }
  }

  std::string stream_, jobFile_;
};

TEST_F(UsbVmJobTest, JobThroughTheBackendDeliversTheFiltersPacketsUnchanged)
{
  EmulatedPrinterState state;
  state.saveFolder = root_->Path() + "/prints";
  Plug("p1", "VMJB01", state);
  GuestProcess backend;
  StartBackend(&backend, 7, "VMJB01", jobFile_);
  ASSERT_EQ(backend.Wait(kJobWaitMs), 0) << GetBackendOutput(7);
  EXPECT_NE(GetBackendOutput(7).find("INFO: Sent 1 print(s) to the printer."), std::string::npos);

  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 1u);
  ExpectPrintOfStream(prints[0]);
  // The saved planes are the packets' payloads.
  ASSERT_EQ(prints[0].files.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(ReadText(prints[0].files[i]) == prints[0].planes[i]) << prints[0].files[i];
  // Every packet of the stream, in order, with the status query behind the print.
  std::vector<std::string> expected = GetPacketNames(stream_);
  expected.push_back("STATUS");
  const std::vector<std::string> log = emulator_->GetCommandLog("p1");
  const auto first = std::find(log.begin(), log.end(), expected.front());
  EXPECT_EQ(std::vector<std::string>(first, log.end()), expected);
}

TEST_F(UsbVmJobTest, UnplugDuringAPlaneIsReportedAndTheJobGoesOnAfterTheReplug)
{
  Plug("p1", "VMJU01");
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMJU01", "PRINTER_SERIAL_NO", "VMJU01", 30000)) << GetDaemonOutput();
  // The printer goes once the yellow plane is in: the magenta plane is on its way.
  EmulatorFaultSpec unplug;
  unplug.kind = EmulatorFault::Unplug;
  unplug.query = "YPLANE";
  ASSERT_TRUE(emulator_->InjectFault("p1", unplug));
  GuestProcess backend;
  StartBackend(&backend, 8, "VMJU01", jobFile_);
  EXPECT_TRUE(WaitUntil([&] { return !emulator_->IsPlugged("p1"); }, 60000)) << GetBackendOutput(8);
  EXPECT_TRUE(WaitUntil([&] { return GetBackendOutput(8).find("STATE: +offline-report") != std::string::npos; }, 30000))
      << GetBackendOutput(8);
  EXPECT_TRUE(WaitUntil([&] { return IsOffline("VMJU01"); }, 30000)) << ReadText(GetInfoFile("VMJU01"));
  EXPECT_EQ(backend.Wait(0), -2);  // it waits for the printer

  Plug("p1", "VMJU01");
  ASSERT_EQ(backend.Wait(kJobWaitMs), 0) << GetBackendOutput(8);
  const std::string output = GetBackendOutput(8);
  EXPECT_NE(output.find("STATE: -offline-report"), std::string::npos) << output;
  EXPECT_NE(output.find("INFO: Sent 1 print(s) to the printer."), std::string::npos) << output;
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 1u);
  ExpectPrintOfStream(prints[0]);
  EXPECT_TRUE(WaitForInfo("VMJU01", "PRINTER_SERIAL_NO", "VMJU01", 30000)) << GetDaemonOutput();
}

// While the status window is open the daemon reads the printer at every pass;
// jobs come one after another meanwhile, each started while a pass holds the
// printer (its firmware answer is slowed). On USB only one of them can hold
// the interface at a time: the backend waits for the pass, later passes find
// the printer busy while the job is sent.
TEST_F(UsbVmJobTest, DaemonPassesAndJobsShareThePrinterRepeatedly)
{
  constexpr int kJobs = 4;
  Plug("p1", "VMSH01");
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMSH01", "PRINTER_SERIAL_NO", "VMSH01", 30000)) << GetDaemonOutput();
  Touch("VMSH01", "_UTIL");
  int offlineSeen = 0;
  for (int job = 1; job <= kJobs; ++job) {
    EmulatorFaultSpec slow;
    slow.kind = EmulatorFault::SlowReply;
    slow.query = "FVER";
    slow.delayMs = 800;
    ASSERT_TRUE(emulator_->InjectFault("p1", slow));
    ASSERT_TRUE(WaitForCommand("p1", "INFO FVER", 15000, emulator_->GetCommandLog("p1").size()));
    GuestProcess backend;
    StartBackend(&backend, 20 + job, "VMSH01", jobFile_);
    int status = -2;
    for (int waited = 0; status == -2 && waited < kJobWaitMs; waited += 50) {
      status = backend.Wait(50);
      offlineSeen += IsOffline("VMSH01") ? 1 : 0;
    }
    EXPECT_EQ(status, 0) << GetBackendOutput(20 + job);
  }
  EXPECT_EQ(offlineSeen, 0);
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), static_cast<size_t>(kJobs));
  for (const EmulatedPrint& print : prints) ExpectPrintOfStream(print);
  // No daemon query came between a job's packets.
  const std::vector<std::string> names = GetPacketNames(stream_);
  const std::vector<std::string> log = emulator_->GetCommandLog("p1");
  int jobsWhole = 0;
  for (auto at = log.begin(); (at = std::find(at, log.end(), names.front())) != log.end(); ++at) {
    jobsWhole += log.end() - at > static_cast<long>(names.size()) && std::equal(names.begin(), names.end(), at) &&
                 at[static_cast<long>(names.size())] == "STATUS";
  }
  EXPECT_EQ(jobsWhole, kJobs);
  // The daemon's passes went on around the jobs and saw the media count fall.
  EXPECT_TRUE(WaitForInfo("VMSH01", "MEDIA_REMAIN", "000" + std::to_string(50 - kJobs), 15000)) << GetDaemonOutput();
}

}  // namespace
