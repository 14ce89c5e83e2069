// What CUPS knows of the printer, as a user asks it (ipptool): the reason a
// job waits and the media left while the printer is out of media, both gone
// after reloading; a job that waits for its printer with its message in view;
// and the prints of a job, each made once and counted by the scheduler, when
// the printer goes away right after a print or between two copies.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "SystemFixture.h"

namespace {

const std::vector<std::string> kSmallPhoto = {"PageSize=102x102mm", "fit-to-page"};

class PrinterStateTest : public SystemTest {
protected:
  void SetUp() override
  {
    // Finished jobs keep their attributes; a printer that cannot print is
    // asked again, and the waiting message said again, every 300 ms.
    cupsd_.AddConfigLine("PreserveJobHistory Yes");
    cupsd_.SetEnv("TQ58_BACKEND_WAITS", "status-poll-ms=300");
    SystemTest::SetUp();
  }

  // A small uniform picture as a JPEG: quick through the filters.
  std::string SmallPhoto() const
  {
    const std::string ppm = root_.Path() + "/small.ppm", jpg = root_.Path() + "/small.jpg";
    std::ofstream(ppm, std::ios::binary) << "P6\n64 64\n255\n" << std::string(64 * 64 * 3, '\x60');
    EXPECT_EQ(RunProcess({"cjpeg", "-quality", "90", "-outfile", jpg, ppm}).exitCode, 0);
    return jpg;
  }
  // ipptool's "name (type) = value" lines for the attributes of the queue
  // (resource "/printers/...") or a job ("/jobs/N").
  std::string Ipp(const std::string& resource, const char* operation, const char* attributes) const
  {
    const std::string test = root_.Path() + "/get.test";
    std::ofstream(test) << "{\n NAME \"" << operation << "\"\n OPERATION " << operation
                        << "\n GROUP operation-attributes-tag\n ATTR charset attributes-charset utf-8\n"
                           " ATTR naturalLanguage attributes-natural-language en\n ATTR uri "
                        << (resource.rfind("/jobs/", 0) == 0 ? "job-uri" : "printer-uri")
                        << " $uri\n ATTR keyword requested-attributes " << attributes << "\n STATUS successful-ok\n}\n";
    std::string host;
    for (char c : cupsd_.SocketPath()) host += c == '/' ? std::string("%2F") : std::string(1, c);
    const ProcessResult ipp = RunProcess({"ipptool", "-tv", "ipp://" + host + resource, test});
    EXPECT_EQ(ipp.exitCode, 0) << ipp.out << ipp.err;
    return ipp.out;
  }
  std::string PrinterAttributes() const
  {
    return Ipp("/printers/" + kQueue, "Get-Printer-Attributes",
               "printer-state,printer-state-reasons,printer-state-message,marker-colors,marker-high-levels,"
               "marker-levels,marker-low-levels,marker-names,marker-types");
  }
  std::string JobAttributes(const std::string& jobId) const
  {
    return Ipp("/jobs/" + jobId, "Get-Job-Attributes", "job-state,job-impressions-completed");
  }
  // The value of attribute name in ipptool's output; empty when it is not there.
  static std::string Value(const std::string& attributes, const std::string& name)
  {
    const size_t at = attributes.find("\n        " + name + " (");
    if (at == std::string::npos) return std::string();
    const size_t equals = attributes.find(" = ", at);
    const size_t end = attributes.find('\n', equals);
    return equals == std::string::npos || end < equals ? std::string()
                                                       : attributes.substr(equals + 3, end - equals - 3);
  }
  // The state and marker lines, for the eye.
  static std::string Excerpt(const std::string& attributes)
  {
    std::string lines;
    for (const char* name :
         {"printer-state", "printer-state-reasons", "printer-state-message", "marker-colors", "marker-high-levels",
          "marker-levels", "marker-low-levels", "marker-names", "marker-types"}) {
      lines += std::string("  ") + name + " = " + Value(attributes, name) + "\n";
    }
    return lines;
  }
  // Polls every 100 ms, up to ms.
  static bool WaitFor(const std::function<bool()>& condition, int ms)
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
  }
  bool HasReason(const std::string& reason) const
  {
    const std::string reasons = "," + PrinterStateReasons() + ",";
    return reasons.find("," + reason + ",") != std::string::npos;
  }
  // The daemon has written the printer's information file: its queries are over.
  void WaitForDaemonPass() const
  {
    ASSERT_TRUE(WaitUntil([&] { return Info("MEDIA_REMAIN") == "00050"; }, 15000));
  }
  // The printer unplugged by a fault: the prints it made (the files it saved
  // outlast it), then it is plugged in again, saving its prints elsewhere.
  int ReplugAfterFault()
  {
    EXPECT_TRUE(WaitFor([&] { return !emulator_->IsPlugged("p1"); }, 60000));
    int prints = 0;
    while (std::filesystem::exists(prints_ + "/p1-print-000" + std::to_string(prints + 1) + ".png")) ++prints;
    EXPECT_TRUE(WaitFor([&] { return HasReason("offline-report"); }, 20000)) << PrinterStateReasons();
    Plug("p1", [&](EmulatedPrinterState& s) { s.saveFolder = prints_ + "/after"; });
    return prints;
  }
};

TEST_F(PrinterStateTest, OutOfMediaTheQueueShowsWhyAndTheJobPrintsOnceAfterReloading)
{
  Plug("p1", [](EmulatedPrinterState& s) {
    s.status = 1100;
    s.mediaRemain = 0;
  });
  WaitForQueue();
  const std::string job = Print(SmallPhoto(), kSmallPhoto);
  ASSERT_FALSE(job.empty());
  ASSERT_TRUE(WaitFor([&] { return HasReason("media-empty-error"); }, 30000)) << PrinterStateReasons();
  // The job waits with the reason in view, nothing printed.
  ASSERT_TRUE(WaitFor(
      [&] { return Value(PrinterAttributes(), "printer-state-message").find("out of paper") != std::string::npos; },
      10000));
  const std::string empty = PrinterAttributes();
  std::cout << "Out of media:\n" << Excerpt(empty);
  EXPECT_EQ(Value(empty, "printer-state"), "processing");
  EXPECT_EQ(Value(empty, "printer-state-reasons"), "media-empty-error");
  EXPECT_EQ(Value(empty, "printer-state-message"),
            "The printer is out of paper: load a new paper roll. The job goes on once that is done.");
  EXPECT_EQ(Value(empty, "marker-levels"), "0");
  EXPECT_EQ(Value(empty, "marker-low-levels"), "10");
  EXPECT_EQ(Value(empty, "marker-high-levels"), "100");
  EXPECT_EQ(Value(empty, "marker-names"), "Ribbon and paper");
  EXPECT_EQ(Value(empty, "marker-types"), "ink-ribbon");
  EXPECT_EQ(Value(empty, "marker-colors"), "#00FFFF#FF00FF#FFFF00");
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 0);
  EXPECT_EQ(ActiveJobs(), 1);

  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 0;
    s.mediaRemain = 50;
  }));
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
  const std::string reloaded = PrinterAttributes();
  std::cout << "After reloading:\n" << Excerpt(reloaded);
  EXPECT_EQ(Value(reloaded, "printer-state-reasons"), "none");
  EXPECT_EQ(Value(reloaded, "marker-levels"), "100");  // as read before the print
  EXPECT_EQ(Value(JobAttributes(job), "job-impressions-completed"), "1");
}

TEST_F(PrinterStateTest, AJobForAnUnpluggedPrinterWaitsWithItsMessageInViewAndPrintsOnceItIsBack)
{
  Plug();
  WaitForQueue();
  ASSERT_TRUE(emulator_->Unplug("p1"));
  const std::string job = Print(SmallPhoto(), kSmallPhoto);
  ASSERT_FALSE(job.empty());
  ASSERT_TRUE(WaitFor([&] { return HasReason("offline-report"); }, 30000)) << PrinterStateReasons();
  // The filter's messages come and go; the backend's comes back, again and
  // again (each of its lines is in the scheduler's log).
  const std::string waiting = "Waiting for the TQ-58 printer with serial TQ58-0001 to be connected.";
  const auto countSaid = [&] {
    const std::string log = cupsd_.ErrorLog(), line = "] " + waiting + "\n";
    int n = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++n;
    return n;
  };
  ASSERT_TRUE(WaitFor([&] { return countSaid() >= 3; }, 20000)) << countSaid();
  EXPECT_EQ(Value(PrinterAttributes(), "printer-state-message"), waiting);
  EXPECT_EQ(ActiveJobs(), 1);
  Plug();
  ASSERT_TRUE(WaitForJobsDone(30000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
  EXPECT_FALSE(HasReason("offline-report"));
  EXPECT_EQ(Value(JobAttributes(job), "job-impressions-completed"), "1");
}

TEST_F(PrinterStateTest, APrinterGoneBetweenAPrintAndItsAnswerMakesEachCopyOnce)
{
  Plug();
  WaitForQueue();
  WaitForDaemonPass();
  // Copy 1 is in; the printer goes before it answers the STATUS query behind it.
  EmulatorFaultSpec gone;
  gone.kind = EmulatorFault::Unplug;
  gone.query = "START";
  ASSERT_TRUE(emulator_->InjectFault("p1", gone));
  const std::string job = Print(SmallPhoto(), kSmallPhoto, 2);
  ASSERT_FALSE(job.empty());
  EXPECT_EQ(ReplugAfterFault(), 1);
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);  // copy 2 alone
  EXPECT_EQ(Value(JobAttributes(job), "job-impressions-completed"), "2");
}

TEST_F(PrinterStateTest, APrinterGoneBetweenTwoCopiesMakesEachCopyOnce)
{
  Plug();
  WaitForQueue();
  WaitForDaemonPass();
  // The backend asks the printer's status when the job starts, before each
  // print and right behind it: the third answer is copy 1's, and the printer
  // goes once it is out.
  EmulatorFaultSpec asIs;
  asIs.kind = EmulatorFault::SlowReply;
  asIs.query = "STATUS";
  asIs.count = 2;
  EmulatorFaultSpec gone;
  gone.kind = EmulatorFault::UnplugAfterReply;
  gone.query = "STATUS";
  ASSERT_TRUE(emulator_->InjectFault("p1", asIs));
  ASSERT_TRUE(emulator_->InjectFault("p1", gone));
  const std::string job = Print(SmallPhoto(), kSmallPhoto, 2);
  ASSERT_FALSE(job.empty());
  EXPECT_EQ(ReplugAfterFault(), 1);
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
  EXPECT_EQ(Value(JobAttributes(job), "job-impressions-completed"), "2");
}

}  // namespace
