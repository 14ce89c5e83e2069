// A printer unplugged at every step of a polling pass: the open of its
// interface, each query, the queue step and the file write after the last
// answer. Each case runs the device-discovery loop on the emulated bus and has
// the emulator unplug the printer exactly at its step, then checks what a user
// sees: the pass ends, the information file is whole at every moment and ends
// as the offline file (or keeps its old content when the serial number was
// never learned), one-time markers go with the pass that saw them, no
// descriptor or thread is left behind, and the printer plugged in again gets
// a complete file.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DaemonTestUtil.h"
#include "DeviceThreads.h"
#include "EmulatedBus.h"
#include "TempRoot.h"
#include "UsbEmulated.h"
#include "WatchedBus.h"
#include "UsbIdsTQ58.h"

namespace {

const std::string kSerial = "TQ58-0001";

// Longer than a whole pass whose every transfer times out on this bus: at
// most eight exchanges of three 200 ms transfers, the device ID and the retry
// pause, about 5 s.
constexpr int kPassBoundMs = 10000;

// The file of the emulator's default printer.
std::string LiveFile(const std::string& status, const std::string& message, const std::string& count)
{
  return "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"" + status + "\"\nPRINTER_MESSAGE=\"" + message +
         "\"\nPRINTER_VERSION=\"1.00\"\nPRINTER_SERIAL_NO=\"" + kSerial +
         "\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\nMEDIA_CLASS=\"0001\"\nMEDIA_INITIAL=\"00050\"\n"
         "MEDIA_REMAIN=\"00050\"\n\n#COUNTER_INFORMATION\nTOTAL_COUNT=\"" +
         count + "\"\n\n";
}

const std::string kOfflineFile =
    "#PRINTER_INFORMATION\nMODEL=\"\"\nPRINTER_STATUS=\"99999\"\nPRINTER_MESSAGE=\"00006\"\nPRINTER_VERSION=\"\"\n"
    "PRINTER_SERIAL_NO=\"\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"\"\nMEDIA_CLASS=\"\"\nMEDIA_INITIAL=\"\"\n"
    "MEDIA_REMAIN=\"\"\n\n#COUNTER_INFORMATION\nTOTAL_COUNT=\"\"\n\n";

// True when text has the sixteen lines of an information file, each whole.
bool IsWholeInfoFile(const std::string& text)
{
  static const char* const kLines[] = {"#PRINTER_INFORMATION",
                                       "MODEL",
                                       "PRINTER_STATUS",
                                       "PRINTER_MESSAGE",
                                       "PRINTER_VERSION",
                                       "PRINTER_SERIAL_NO",
                                       "",
                                       "#MEDIA_INFORMATION",
                                       "MEDIA_SIZE",
                                       "MEDIA_CLASS",
                                       "MEDIA_INITIAL",
                                       "MEDIA_REMAIN",
                                       "",
                                       "#COUNTER_INFORMATION",
                                       "TOTAL_COUNT",
                                       ""};
  size_t at = 0;
  for (const char* expected : kLines) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const std::string key = expected;
    if (key.empty() || key[0] == '#') {
      if (line != key) return false;
    } else if (line.rfind(key + "=\"", 0) != 0 || line.size() < key.size() + 3 || line.back() != '"') {
      return false;
    }
  }
  return at == text.size();
}

int CountEntries(const char* folder)
{
  int n = 0;
  if (DIR* dir = opendir(folder)) {
    while (const dirent* e = readdir(dir)) n += e->d_name[0] != '.';
    closedir(dir);
  }
  return n;
}

int OpenDescriptors()
{
  return CountEntries("/proc/self/fd") - 1;
}  // less the listing's own
int Threads()
{
  return CountEntries("/proc/self/task");
}

// Which pass the printer is unplugged in.
enum class Pass {
  First,     // the first pass of a printer just plugged in: serial number, model, queue, file
  TcMarker,  // a pass asked for by the "_TC_UTIL" and "_UTIL" markers: the count before the status
  Starting,  // a pass asked for by "_START_UTIL": the count after the status
};

struct Step {
  const char* name;
  Pass pass;
  EmulatorFault fault;  // Unplug, or UnplugAfterReply for the step after a query
  const char* query;    // the query key, kEmulatorOpenKey, or empty for the queue step
  bool serialLearned;   // the thread knows the serial number when it stops
  bool retry = false;   // the first serial-number read goes unanswered, so the step is the retry
};

std::ostream& operator<<(std::ostream& out, const Step& s)
{
  return out << s.name;
}

constexpr EmulatorFault kAt = EmulatorFault::Unplug;
constexpr EmulatorFault kAfter = EmulatorFault::UnplugAfterReply;

const Step kSteps[] = {
    {"FirstOpen", Pass::First, kAt, kEmulatorOpenKey, false},
    {"FirstSerialNumber", Pass::First, kAt, "SERIAL_NUMBER", false},
    {"FirstSerialNumberRetry", Pass::First, kAt, "SERIAL_NUMBER", false, true},
    {"FirstDeviceId", Pass::First, kAfter, "SERIAL_NUMBER", true},
    {"FirstQueueStep", Pass::First, kAt, "", true},
    {"FirstStatus", Pass::First, kAt, "STATUS", true},
    {"FirstFirmVersion", Pass::First, kAt, "FVER", true},
    {"FirstMediaSize", Pass::First, kAt, "MEDIA", true},
    {"FirstMediaClass", Pass::First, kAt, "MEDIA_CLASS_RFID", true},
    {"FirstMediaInitial", Pass::First, kAt, "MQTY_DEFAULT", true},
    {"FirstMediaRemain", Pass::First, kAt, "MQTY", true},
    {"FirstFileWrite", Pass::First, kAfter, "MQTY", true},
    {"MarkerOpen", Pass::TcMarker, kAt, kEmulatorOpenKey, true},
    {"MarkerTotalCount", Pass::TcMarker, kAt, "COUNTER_LIFE", true},
    {"MarkerStatus", Pass::TcMarker, kAt, "STATUS", true},
    {"MarkerFirmVersion", Pass::TcMarker, kAt, "FVER", true},
    {"MarkerMediaSize", Pass::TcMarker, kAt, "MEDIA", true},
    {"MarkerMediaClass", Pass::TcMarker, kAt, "MEDIA_CLASS_RFID", true},
    {"MarkerMediaInitial", Pass::TcMarker, kAt, "MQTY_DEFAULT", true},
    {"MarkerMediaRemain", Pass::TcMarker, kAt, "MQTY", true},
    {"MarkerFileWrite", Pass::TcMarker, kAfter, "MQTY", true},
    {"StartingTotalCount", Pass::Starting, kAt, "COUNTER_LIFE", true},
};

// Reads the information file over and over on a thread of its own and
// remembers every read that was not a whole file.
class FileSampler {
public:
  explicit FileSampler(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}
  ~FileSampler() { Stop(); }
  void Stop()
  {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int Reads() const { return reads_; }
  std::vector<std::string> Broken()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return broken_;
  }

private:
  void Run()
  {
    while (!stop_) {
      const std::string text = ReadText(path_);
      ++reads_;
      if (!IsWholeInfoFile(text)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (broken_.size() < 5) broken_.push_back(text);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::string path_;
  std::atomic<bool> stop_{false};
  std::atomic<int> reads_{0};
  std::mutex mutex_;
  std::vector<std::string> broken_;
  std::thread thread_;
};

class UnplugDuringPassTest : public ::testing::TestWithParam<Step> {
protected:
  void SetUp() override
  {
    usb_ = TQ58_OpenEmulatedBus(bus_, FastBusOptions());
    DaemonConfig config = FastDaemonConfig();
    config.serialRetryMs = 50;
    config.queueStep = [this](thdata* rec) {
      rec->queueRegistered = true;
      if (unplugInQueueStep_) emulator_->Unplug("p1");
    };
    SetDaemonConfig(config);
    root_.CacheFolder();
    ASSERT_TRUE(emulator_->Plug("p1", EmulatedPrinterState()));
    descriptors_ = OpenDescriptors();
    threads_ = Threads();
  }

  void TearDown() override
  {
    StopDaemon();
    SetDaemonConfig(DaemonConfig());
    emulator_.Stop();
  }

  void StartDaemon()
  {
    watch_ = std::thread([this] { RunDeviceWatch(usb_.get(), kTQ58UsbVendorId, kTQ58UsbProductId, &stop_); });
  }
  // Ends the discovery loop and every device thread.
  void StopDaemon()
  {
    stop_ = true;
    if (watch_.joinable()) watch_.join();
    DeviceRemoved(GetRecordedDevices());
  }

  std::string Path() const { return root_.CacheFolder(false) + "/TQ-58_" + kSerial + ".log"; }
  std::string File() const { return ReadText(Path()); }
  std::string Marker(const std::string& suffix) const
  {
    return root_.CacheFolder(false) + "/TQ-58_" + kSerial + suffix;
  }
  void Touch(const std::string& suffix) const { root_.WriteFile(Marker(suffix).substr(root_.Path().size() + 1), ""); }
  bool Exists(const std::string& suffix) const { return std::filesystem::exists(Marker(suffix)); }

  // The printer's faults for the step: it is unplugged when the step is reached.
  void ArmStep(const Step& step)
  {
    EmulatorFaultSpec f;
    if (step.retry) {
      f.kind = EmulatorFault::NoReply;
      f.query = "SERIAL_NUMBER";
      ASSERT_TRUE(emulator_->InjectFault("p1", f));
    }
    if (step.query[0] == '\0') {
      unplugInQueueStep_ = true;
      return;
    }
    f.kind = step.fault;
    f.query = step.query;
    ASSERT_TRUE(emulator_->InjectFault("p1", f));
  }

  // Brings the daemon to the pass of step with the step armed; returns the
  // file's content before that pass.
  std::string StartPass(const Step& step)
  {
    if (step.pass == Pass::First) {
      // A file left by an earlier attachment of the printer.
      const std::string old = LiveFile("01000", "00100", "");
      root_.WriteFile(Path().substr(root_.Path().size() + 1), old);
      ArmStep(step);
      StartDaemon();
      return old;
    }
    StartDaemon();
    const std::string live = LiveFile("00000", "00001", "");
    EXPECT_TRUE(WaitUntil([&] { return File() == live; }, kPassBoundMs)) << File();
    // Registered and without markers, the printer now gets no traffic until a marker comes.
    ArmStep(step);
    Touch(step.pass == Pass::TcMarker ? "_TC_UTIL" : "_START_UTIL");
    Touch("_UTIL");
    return live;
  }

  TempRoot root_;
  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  std::unique_ptr<UsbBus> usb_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> unplugInQueueStep_{false};
  std::thread watch_;
  int descriptors_ = 0;
  int threads_ = 0;
};

}  // namespace

TEST_P(UnplugDuringPassTest, PassEndsCleanlyAndThePrinterRecovers)
{
  const Step& step = GetParam();
  const std::string old = StartPass(step);
  FileSampler sampler(Path());

  ASSERT_TRUE(WaitUntil([&] { return !emulator_->IsPlugged("p1"); }, kPassBoundMs)) << "the step was never reached";
  ASSERT_TRUE(WaitUntil([] { return GetRecordedDevices().empty(); }, kPassBoundMs)) << "the pass did not end";
  // The thread is gone: what it left is final.
  EXPECT_EQ(File(), step.serialLearned ? kOfflineFile : old);
  if (step.pass != Pass::First) {
    // The one-time marker went with the pass that saw it; "_UTIL" belongs to the window.
    EXPECT_FALSE(Exists(step.pass == Pass::TcMarker ? "_TC_UTIL" : "_START_UTIL"));
    EXPECT_TRUE(Exists("_UTIL"));
  }

  // The window quits; a count asked for while the printer is away waits for it.
  std::filesystem::remove(Marker("_UTIL"));
  Touch("_TC_UTIL");
  EXPECT_TRUE(Exists("_TC_UTIL"));
  unplugInQueueStep_ = false;
  EmulatedPrinterState state;
  state.totalCount = 7;
  ASSERT_TRUE(emulator_->Plug("p1", state));
  const std::string recovered = LiveFile("00000", "00001", "00000007");
  EXPECT_TRUE(WaitUntil([&] { return File() == recovered; }, kPassBoundMs)) << File();
  EXPECT_FALSE(Exists("_TC_UTIL"));

  StopDaemon();
  sampler.Stop();
  EXPECT_GT(sampler.Reads(), 0);
  for (const std::string& text : sampler.Broken()) ADD_FAILURE() << "a reader found a partial file:\n" << text;
  // The emulator closes its side of the daemon's last connection once it sees it closed.
  // No descriptor is left over; one the emulator's threads held while the test
  // began may be gone by now.
  EXPECT_TRUE(WaitUntil([&] { return OpenDescriptors() <= descriptors_; }, kPassBoundMs))
      << OpenDescriptors() << " descriptors open, " << descriptors_ << " before";
  EXPECT_TRUE(WaitUntil([&] { return Threads() == threads_; }, kPassBoundMs))
      << Threads() << " threads, " << threads_ << " before";
}

INSTANTIATE_TEST_SUITE_P(EveryStep, UnplugDuringPassTest, ::testing::ValuesIn(kSteps),
                         [](const ::testing::TestParamInfo<Step>& info) { return std::string(info.param.name); });
