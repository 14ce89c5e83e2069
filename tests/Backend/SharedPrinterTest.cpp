// One printer, two programs: the real status daemon polls the printer while
// the real backend prints on it, on the emulated bus where a claim is as
// exclusive as on USB. No pass breaks a print, no print waits long for a pass,
// the information file never turns to error or offline during the job, and a
// marker made during a print is answered right after that print.
#include <poll.h>
#include <sys/inotify.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BackendTestUtil.h"
#include "InfoTq58Fixture.h"
#include "SharedPrinterChecks.h"

namespace {

const std::string kSerial = "SH01";
constexpr size_t kPlane = 300000;

std::vector<std::string> SentPlanes(int print)
{
  return {PlanePayload(print, 0, kPlane), PlanePayload(print, 1, kPlane), PlanePayload(print, 2, kPlane)};
}

class SharedPrinterTest : public InfoTq58Test {
protected:
  void SetUp() override
  {
    InfoTq58Test::SetUp();
    if (HasFatalFailure()) return;
    Plug("p1", kSerial);
    StartDaemon();
    // The file comes after the queue step: from then on the daemon opens the printer only for markers.
    ASSERT_TRUE(WaitForInfo(kSerial, "MODEL", "TQ-58", 20000)) << DaemonOutput();
  }
  bool StartBackend(const std::string& jobId)
  {
    return backend_.Start(
        TQ58_BACKEND_PATH, jobId,
        {"TQ58_ROOT=" + root_.Path(), "TQ58_EMULATED_USB=" + bus_, "DEVICE_URI=" + kTestUri + kSerial},
        root_.Path() + "/backend.err");
  }
  std::string BackendErrors() const { return ReadText(root_.Path() + "/backend.err"); }
  int CountOf(const std::string& entry) const
  {
    int n = 0;
    for (const std::string& e : emulator_->GetCommandLog("p1")) n += e == entry;
    return n;
  }

  BackendProcess backend_;
};

}  // namespace

TEST_F(SharedPrinterTest, PassesGoBetweenPrintsAndAMarkerIsAnsweredRightAfterThePrintUnderWay)
{
  // The status window is open: the daemon polls the printer at every pass,
  // and each pass holds the printer a little longer than usual.
  Touch(kSerial, "_UTIL");
  EmulatorFaultSpec slow;
  slow.kind = EmulatorFault::SlowReply;
  slow.query = "FVER";
  slow.delayMs = 150;
  slow.count = -1;
  ASSERT_TRUE(emulator_->InjectFault("p1", slow));
  InfoFileWatch watch(InfoFile(kSerial));

  ASSERT_TRUE(StartBackend("31"));
  const std::string print3 = PrintPackets(3, kPlane);
  const size_t half = print3.find(Packet("IMAGE", "MPLANE", PlanePayload(3, 1, kPlane)));
  ASSERT_TRUE(backend_.Feed(Packet("CNTRL", "SET_SYS_TIME", "20240101120000") + PrintPackets(1, kPlane) +
                            PrintPackets(2, kPlane) + print3.substr(0, half)));
  // Print 3 is under way, its claim held while the backend waits for the rest.
  ASSERT_TRUE(WaitUntil([&] { return CountOf("IMAGE YPLANE") == 3; }, 20000)) << BackendErrors();
  // Every claim opens the claim file: the next open is the daemon's, refused.
  const int claims = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(claims, (bus_ + "/p1/claim").c_str(), IN_OPEN), 0);
  Touch(kSerial, "_TC_UTIL");
  pollfd daemonTried{claims, POLLIN, 0};
  EXPECT_EQ(poll(&daemonTried, 1, 10000), 1);
  close(claims);
  EXPECT_TRUE(std::filesystem::exists(Marker(kSerial, "_TC_UTIL")));  // kept for the pass after the print

  ASSERT_TRUE(
      backend_.Feed(print3.substr(half) + PrintPackets(4, kPlane) + PrintPackets(5, kPlane) + PrintPackets(6, kPlane)));
  EXPECT_EQ(backend_.Finish(60000), 0) << BackendErrors();
  EXPECT_TRUE(WaitUntil([&] { return watch.GetCounts().count("00000003") == 1; }, 10000));
  watch.Stop();

  // Every print intact, once; no query of the daemon inside a print.
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(prints[i].planes, SentPlanes(i + 1)) << "print " << i + 1;
  const std::vector<std::string> log = emulator_->GetCommandLog("p1");
  EXPECT_EQ(ForeignPacketsInsidePrints(log), 0);
  // The marker's pass came between print 3 and print 4.
  const size_t answer = NthEntry(log, "MNT_RD COUNTER_LIFE", 1);
  EXPECT_GT(answer, NthEntry(log, "CNTRL START", 3));
  EXPECT_LT(answer, NthEntry(log, "CNTRL CUTTER", 4));
  // The window never read an error or an offline printer.
  EXPECT_GT(watch.GetReads(), 0);
  EXPECT_EQ(watch.GetStatuses(), std::set<std::string>{"00000"});
  // No print waited for the printer much longer than a pass takes.
  const std::vector<long> waits = GetClaimWaits(BackendErrors());
  EXPECT_FALSE(waits.empty()) << BackendErrors();
  for (long ms : waits) EXPECT_LT(ms, 2000) << BackendErrors();
}
