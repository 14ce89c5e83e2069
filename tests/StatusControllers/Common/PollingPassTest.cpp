#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DaemonTestUtil.h"
#include "EmulatedBus.h"
#include "MarkerFiles.h"
#include "PollingPass.h"
#include "TempRoot.h"
#include "UsbEmulated.h"
#include "UsbIdsTQ58.h"

namespace {

using Log = std::vector<std::string>;
const std::string kSerial = "TQ58-0001";
const Log kQueries = {"STATUS", "INFO FVER", "INFO MEDIA", "INFO MEDIA_CLASS_RFID", "INFO MQTY_DEFAULT", "INFO MQTY"};

Log With(Log log, size_t at, const std::string& command)
{
  log.insert(log.begin() + static_cast<long>(at), command);
  return log;
}

// One emulated printer "p1" and its record, with short time-outs and pauses,
// and a queue step that only notes that it ran.
class PollingPassTest : public ::testing::Test {
protected:
  static constexpr unsigned kShortMs = 200;

  void SetUp() override
  {
    ASSERT_TRUE(emulator_->Plug("p1", EmulatedPrinterState()));
    EmulatedBusOptions options;
    options.maxTimeoutMs = kShortMs;
    usb_ = TQ58_OpenEmulatedBus(bus_, options);
    DaemonConfig config;
    config.passIntervalMs = 20;
    config.serialRetryMs = 20;
    config.deviceIdTimeoutMs = kShortMs;
    config.queueStep = [this](thdata* rec) {
      ++queueSteps_;
      rec->queueRegistered = true;
    };
    SetDaemonConfig(config);
    std::vector<UsbDeviceRef> devices;
    usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    ASSERT_EQ(devices.size(), 1u);
    rec_.bus = usb_.get();
    rec_.service = devices[0];
  }

  void TearDown() override
  {
    SetDaemonConfig(DaemonConfig());
    emulator_.Stop();
  }

  std::string File() const { return ReadText(root_.CacheFolder(false) + "/TQ-58_" + kSerial + ".log"); }
  std::string Marker(const std::string& suffix) const { return root_.CacheFolder() + "/TQ-58_" + kSerial + suffix; }
  void Touch(const std::string& suffix) const { root_.WriteFile(Marker(suffix).substr(root_.Path().size() + 1), ""); }
  bool Exists(const std::string& suffix) const { return std::filesystem::exists(Marker(suffix)); }
  Log TakeLog()
  {
    Log log = emulator_->GetCommandLog("p1");
    emulator_->ClearCommandLog("p1");
    return log;
  }
  void Register()
  {
    RunPollingPass(&rec_);
    ASSERT_TRUE(rec_.queueRegistered);
    TakeLog();
  }
  void Fault(EmulatorFault kind, const std::string& query, int count)
  {
    EmulatorFaultSpec f;
    f.kind = kind;
    f.query = query;
    f.count = count;
    ASSERT_TRUE(emulator_->InjectFault("p1", f));
  }

  TempRoot root_;
  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  std::unique_ptr<UsbBus> usb_;
  thdata rec_;
  int queueSteps_ = 0;
};

}  // namespace

TEST_F(PollingPassTest, FirstPassLearnsThePrinterAndLaterPassesLeaveItAlone)
{
  RunPollingPass(&rec_);
  EXPECT_TRUE(rec_.serialKnown);
  EXPECT_STREQ(rec_.serialNo, kSerial.c_str());
  EXPECT_TRUE(rec_.modelKnown);
  EXPECT_STREQ(rec_.model, "TQ-58");
  EXPECT_EQ(queueSteps_, 1);
  EXPECT_EQ(TakeLog(), With(kQueries, 0, "INFO SERIAL_NUMBER"));
  // The writer used the pass's own connection.
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), 1);
  const std::string text = File();
  EXPECT_EQ(LineCount(text), 16);
  EXPECT_EQ(InfoValue(text, "MODEL"), "TQ-58");
  EXPECT_EQ(InfoValue(text, "PRINTER_SERIAL_NO"), kSerial);
  EXPECT_EQ(InfoValue(text, "MEDIA_SIZE"), "150");
  EXPECT_EQ(InfoValue(text, "TOTAL_COUNT"), "");
  EXPECT_EQ(rec_.markerFlags, 0);

  std::filesystem::remove(root_.CacheFolder() + "/TQ-58_" + kSerial + ".log");
  RunPollingPass(&rec_);
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), 1);
  EXPECT_FALSE(std::filesystem::exists(root_.CacheFolder() + "/TQ-58_" + kSerial + ".log"));
  EXPECT_EQ(queueSteps_, 1);
}

TEST_F(PollingPassTest, MarkersDecideWhetherAndWhenTheCountIsRead)
{
  Register();
  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.totalCount = 42; });
  Touch("_TC_UTIL");
  RunPollingPass(&rec_);
  EXPECT_EQ(TakeLog(), With(kQueries, 0, "MNT_RD COUNTER_LIFE"));
  EXPECT_EQ(InfoValue(File(), "TOTAL_COUNT"), "00000042");
  EXPECT_FALSE(Exists("_TC_UTIL"));

  Touch("_START_UTIL");
  RunPollingPass(&rec_);
  EXPECT_EQ(TakeLog(), With(kQueries, 1, "MNT_RD COUNTER_LIFE"));
  EXPECT_EQ(InfoValue(File(), "TOTAL_COUNT"), "00000042");

  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 900; });
  Touch("_START_UTIL");
  RunPollingPass(&rec_);
  EXPECT_EQ(TakeLog(), kQueries);
  EXPECT_EQ(InfoValue(File(), "PRINTER_STATUS"), "00900");
  EXPECT_EQ(InfoValue(File(), "TOTAL_COUNT"), "");
  EXPECT_FALSE(Exists("_START_UTIL"));

  Touch("_UTIL");
  Touch("_PDE_7");
  for (int i = 0; i < 2; ++i) {
    RunPollingPass(&rec_);
    EXPECT_EQ(TakeLog(), kQueries);
    EXPECT_EQ(InfoValue(File(), "TOTAL_COUNT"), "");
  }
  EXPECT_TRUE(Exists("_UTIL"));
  EXPECT_TRUE(Exists("_PDE_7"));
}

TEST_F(PollingPassTest, SerialNumberIsReadOnceMoreInTheSamePass)
{
  Fault(EmulatorFault::NoReply, "SERIAL_NUMBER", 1);
  RunPollingPass(&rec_);
  EXPECT_TRUE(rec_.serialKnown);
  EXPECT_EQ(LineCount(File()), 16);

  thdata other;
  other.bus = rec_.bus;
  other.service = rec_.service;
  Fault(EmulatorFault::NoReply, "SERIAL_NUMBER", 2);
  std::filesystem::remove(root_.CacheFolder() + "/TQ-58_" + kSerial + ".log");
  RunPollingPass(&other);
  EXPECT_FALSE(other.serialKnown);
  EXPECT_EQ(queueSteps_, 1);
  EXPECT_FALSE(std::filesystem::exists(root_.CacheFolder() + "/TQ-58_" + kSerial + ".log"));
}

// An empty serial number names no printer: no file "TQ-58_.log", no queue
// whose URI ends in "serial=". The printer is asked again at the next pass.
TEST_F(PollingPassTest, EmptySerialNumberIsNoSerialNumber)
{
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.serial = ""; }));
  RunPollingPass(&rec_);
  EXPECT_FALSE(rec_.serialKnown);
  EXPECT_EQ(queueSteps_, 0);
  EXPECT_FALSE(std::filesystem::exists(root_.CacheFolder() + "/TQ-58_.log"));

  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.serial = kSerial; }));
  RunPollingPass(&rec_);
  EXPECT_TRUE(rec_.serialKnown);
  EXPECT_EQ(queueSteps_, 1);
  EXPECT_EQ(LineCount(File()), 16);
}

TEST_F(PollingPassTest, ReplyCannotAddALineToTheFile)
{
  emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.replyOverride["FVER"] = "1.00\nMEDIA_CLASS=\"9999\"\r";
    s.replyOverride["MEDIA"] =
        "00\x01"
        "150\r";
  });
  RunPollingPass(&rec_);
  const std::string text = File();
  EXPECT_EQ(LineCount(text), 16);
  EXPECT_EQ(InfoValue(text, "PRINTER_VERSION"), "1.00");
  EXPECT_EQ(InfoValue(text, "MEDIA_CLASS"), "0001");
  EXPECT_EQ(InfoValue(text, "MEDIA_SIZE"), "");
}

TEST_F(PollingPassTest, SilentPrinterEndsThePassWithinTheTimeOutsAndTheNextRecovers)
{
  Register();
  Touch("_UTIL");
  Fault(EmulatorFault::NoReply, "", -1);
  const auto start = std::chrono::steady_clock::now();
  RunPollingPass(&rec_);
  // Six queries, each one read time-out.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6 * kShortMs + 1500));
  std::string text = File();
  EXPECT_EQ(InfoValue(text, "PRINTER_STATUS"), "99999");
  EXPECT_EQ(InfoValue(text, "PRINTER_MESSAGE"), "00006");
  EXPECT_EQ(InfoValue(text, "PRINTER_VERSION"), "");
  EXPECT_EQ(InfoValue(text, "MODEL"), "TQ-58");

  emulator_->ClearFaults("p1");
  RunPollingPass(&rec_);
  text = File();
  EXPECT_EQ(InfoValue(text, "PRINTER_STATUS"), "00000");
  EXPECT_EQ(InfoValue(text, "PRINTER_VERSION"), "1.00");
}

TEST_F(PollingPassTest, OneTimeMarkerOfAPassThatCannotOpenThePrinterIsGone)
{
  Register();
  const std::string before = File();
  ASSERT_TRUE(emulator_->Unplug("p1"));
  Touch("_TC_UTIL");
  testing::internal::CaptureStdout();
  RunPollingPass(&rec_);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "thread_function: unable to open device. ret = 00000003\n");
  EXPECT_FALSE(Exists("_TC_UTIL"));
  EXPECT_EQ(rec_.markerFlags, 0);
  EXPECT_EQ(File(), before);
}

// The backend holds the printer during a print: the pass finds it busy.
TEST_F(PollingPassTest, APrinterClaimedElsewhereIsBusyAndItsMarkersWaitForTheNextPass)
{
  Register();
  const std::string before = File();
  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.totalCount = 7; });
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> held;
  ASSERT_EQ(usb_->OpenDevice(rec_.service, &device), kUsbOk);
  ASSERT_EQ(device->OpenInterface(0, &held), kUsbOk);
  Touch("_TC_UTIL");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(RunPollingPass(&rec_));
  EXPECT_TRUE(RunPollingPass(&rec_));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // busy is no fault
  EXPECT_EQ(File(), before);
  EXPECT_TRUE(Exists("_TC_UTIL"));
  EXPECT_TRUE(TakeLog().empty());
  held.reset();
  EXPECT_FALSE(RunPollingPass(&rec_));
  EXPECT_EQ(TakeLog(), With(kQueries, 0, "MNT_RD COUNTER_LIFE"));
  EXPECT_EQ(InfoValue(File(), "TOTAL_COUNT"), "00000007");
  EXPECT_FALSE(Exists("_TC_UTIL"));
  EXPECT_EQ(rec_.markerFlags, 0);
  // A busy printer whose queue is not known yet is tried again as well.
  thdata fresh;
  fresh.bus = rec_.bus;
  fresh.service = rec_.service;
  ASSERT_EQ(device->OpenInterface(0, &held), kUsbOk);
  EXPECT_TRUE(RunPollingPass(&fresh));
  EXPECT_FALSE(fresh.serialKnown);
}

TEST_F(PollingPassTest, StoppedThreadLeavesTheOfflineFile)
{
  rec_.stopRequest = true;  // not listed, and stopped: no pass runs
  thDevData.clear();
  EXPECT_EQ(thread_function(&rec_), 0);
  EXPECT_TRUE(emulator_->GetCommandLog("p1").empty());
  EXPECT_FALSE(std::filesystem::exists(root_.CacheFolder(false) + "/TQ-58_.log"));

  RunPollingPass(&rec_);
  testing::internal::CaptureStdout();
  thread_function(&rec_);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(InfoValue(File(), "PRINTER_STATUS"), "99999");
  EXPECT_EQ(InfoValue(File(), "MODEL"), "");
}

TEST_F(PollingPassTest, PrinterThatVanishesBeforeItsInterfaceOpensIsReported)
{
  // A device whose socket exists but takes no connection.
  const std::string folder = bus_ + "/dead";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/device") << "idVendor=" << kTQ58UsbVendorId
                                    << "\nidProduct=12\nconfiguration=1\ninterface=0\n";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s/bulk", folder.c_str());
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::vector<UsbDeviceRef> devices;
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 2u);
  thdata dead;
  dead.bus = usb_.get();
  dead.service = devices[0].id.rfind("dead#", 0) == 0 ? devices[0] : devices[1];
  testing::internal::CaptureStdout();
  RunPollingPass(&dead);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "thread_function: error closing device - 00000003\n");
  EXPECT_FALSE(dead.serialKnown);
  close(fd);
}

// The cache folder removed while the daemon runs: a pass without markers has
// nothing to do; once a marker is back, the pass makes the folder and the file again.
TEST_F(PollingPassTest, RemovedCacheFolderIsMadeAgainWhenAMarkerAsks)
{
  Register();
  std::filesystem::remove_all(root_.CacheFolder(false));
  RunPollingPass(&rec_);
  EXPECT_FALSE(std::filesystem::exists(root_.CacheFolder(false)));
  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 900; });
  Touch("_START_UTIL");
  RunPollingPass(&rec_);
  EXPECT_EQ(InfoValue(File(), "PRINTER_STATUS"), "00900");
}

// The cache folder made read-only while the daemon runs (a tmpfs of its own,
// remounted): the pass writes nothing, the old file stays whole, and the
// first pass after it is writable again brings the file up to date.
TEST_F(PollingPassTest, ReadOnlyCacheFolderKeepsTheOldFile)
{
  const std::string folder = root_.CacheFolder();
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=256k,mode=0777") != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs on the cache folder; needs root";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
  } unmount{folder};
  Register();
  const std::string old = File();
  ASSERT_EQ(InfoValue(old, "MODEL"), "TQ-58");
  emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 900; });
  Touch("_START_UTIL");
  ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
  RunPollingPass(&rec_);
  EXPECT_EQ(File(), old);
  ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT, "size=256k,mode=0777"), 0);
  Touch("_START_UTIL");
  RunPollingPass(&rec_);
  EXPECT_EQ(InfoValue(File(), "PRINTER_STATUS"), "00900");
}
