#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "CacheWatch.h"
#include "DaemonTestUtil.h"
#include "DeviceThreads.h"
#include "EmulatedBus.h"
#include "FixedPath.h"
#include "InstallLayout.h"
#include "TempRoot.h"
#include "UsbEmulated.h"
#include "WatchedBus.h"
#include "UsbIdsTQ58.h"

namespace {

// Printers on an emulated bus watched by the device-discovery loop on a thread
// of its own, with short pauses and time-outs.
class DeviceThreadsTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    usb_ = TQ58_OpenEmulatedBus(bus_, FastBusOptions());
    SetDaemonConfig(FastDaemonConfig());
  }

  void TearDown() override
  {
    StopWatch();
    DeviceRemoved(GetRecordedDevices());
    SetDaemonConfig(DaemonConfig());
    emulator_.Stop();
  }

  void StartWatch()
  {
    watch_ = std::thread([this] { RunDeviceWatch(usb_.get(), kTQ58UsbVendorId, kTQ58UsbProductId, &stop_); });
  }
  void StopWatch()
  {
    stop_ = true;
    if (watch_.joinable()) watch_.join();
  }
  void Plug(const std::string& name, const std::string& serial)
  {
    EmulatedPrinterState state;
    state.serial = serial;
    ASSERT_TRUE(emulator_->Plug(name, state));
  }
  std::string File(const std::string& serial) const
  {
    return ReadText(root_.CacheFolder(false) + "/TQ-58_" + serial + ".log");
  }
  bool FileValueIs(const std::string& serial, const std::string& key, const std::string& value) const
  {
    return InfoValue(File(serial), key) == value;
  }

  TempRoot root_;
  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  std::unique_ptr<UsbBus> usb_;
  std::atomic<bool> stop_{false};
  std::thread watch_;
};

}  // namespace

TEST_F(DeviceThreadsTest, RemovalRightAfterTheAddIsNotLost)
{
  const UsbDeviceRef ref{"gone#1", kTQ58UsbVendorId, kTQ58UsbProductId};
  dealWithDevice(usb_.get(), ref);
  DeviceRemoved({ref});
  EXPECT_TRUE(GetRecordedDevices().empty());
  DeviceRemoved({ref});  // a removal without a record does nothing
}

TEST_F(DeviceThreadsTest, UnplugDuringAPassReturnsAfterThePassAndTheOfflineFile)
{
  Plug("p1", "S1");
  StartWatch();
  ASSERT_TRUE(WaitUntil([&] { return FileValueIs("S1", "MODEL", "TQ-58"); }, 5000));
  StopWatch();
  root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_S1_UTIL", "");
  EmulatorFaultSpec slow;
  slow.kind = EmulatorFault::SlowReply;
  slow.query = "FVER";
  slow.delayMs = 150;
  slow.count = -1;
  emulator_->InjectFault("p1", slow);
  emulator_->ClearCommandLog("p1");
  ASSERT_TRUE(WaitUntil([&] { return !emulator_->GetCommandLog("p1").empty(); }, 5000));
  ASSERT_TRUE(emulator_->Unplug("p1"));
  DeviceRemoved(GetRecordedDevices());
  EXPECT_TRUE(GetRecordedDevices().empty());
  EXPECT_EQ(InfoValue(File("S1"), "PRINTER_STATUS"), "99999");
}

// A pass that finds the printer claimed elsewhere is tried again after the
// short busy pause, not a whole pass interval later.
TEST_F(DeviceThreadsTest, ABusyPrinterIsTriedAgainSoonAfterItIsFree)
{
  DaemonConfig config = FastDaemonConfig();
  config.passIntervalMs = 600000;
  config.busyRetryMs = 20;
  SetDaemonConfig(config);
  Plug("p1", "S1");
  std::vector<UsbDeviceRef> devices;
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 1u);
  std::unique_ptr<UsbDevice> device;
  std::unique_ptr<UsbInterface> held;
  ASSERT_EQ(usb_->OpenDevice(devices[0], &device), kUsbOk);
  ASSERT_EQ(device->OpenInterface(0, &held), kUsbOk);
  // The daemon's claims show as opens of the claim file.
  const int watch = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(inotify_add_watch(watch, (bus_ + "/p1/claim").c_str(), IN_OPEN), 0);
  dealWithDevice(usb_.get(), devices[0]);
  // The first pass wants the serial number: it tries, finds the printer busy, tries again.
  pollfd p{watch, POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  close(watch);
  held.reset();
  EXPECT_TRUE(WaitUntil([&] { return FileValueIs("S1", "MODEL", "TQ-58"); }, 5000));
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), 2);
}

// With the cache folder watched, a printer that needs nothing is not looked
// at every second, and a marker made for it is still answered at once; the
// watch follows a folder made anew.
class CacheWatchTest : public DeviceThreadsTest {
protected:
  void SetUp() override
  {
    DeviceThreadsTest::SetUp();
    DaemonConfig config = FastDaemonConfig();
    config.passIntervalMs = 600000;  // only the watch can start a pass in time
    config.idlePassMs = 600000;
    config.queueStep = [](thdata* rec) { rec->queueRegistered = true; };
    SetDaemonConfig(config);
    root_.CacheFolder(true);
  }
  void TearDown() override
  {
    StopCacheWatch();
    DeviceThreadsTest::TearDown();
  }
  // Plugs a printer and waits for its first pass (serial, model, queue, file).
  void PlugAndWaitForItsFile()
  {
    Plug("p1", "S1");
    std::vector<UsbDeviceRef> devices;
    usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    ASSERT_EQ(devices.size(), 1u);
    dealWithDevice(usb_.get(), devices[0]);
    ASSERT_TRUE(WaitUntil([&] { return FileValueIs("S1", "MODEL", "TQ-58"); }, 5000));
  }
  // Makes the marker asking for the total count and waits for the count in the file.
  bool MarkerIsAnswered()
  {
    EXPECT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.totalCount = 4321; }));
    root_.WriteFile(std::string(tq58_layout::kCacheFolder).substr(1) + "/TQ-58_S1_TC_UTIL", "");
    return WaitUntil([&] { return FileValueIs("S1", "TOTAL_COUNT", "00004321"); }, 5000);
  }
};

TEST_F(CacheWatchTest, AMarkerWakesAnIdlePrinterAtOnce)
{
  ASSERT_TRUE(StartCacheWatch(kTQ58CacheFolder));
  ASSERT_TRUE(IsCacheWatchActive());
  PlugAndWaitForItsFile();
  EXPECT_TRUE(MarkerIsAnswered()) << File("S1");
}

TEST_F(CacheWatchTest, WithoutTheWatchThePassIntervalHolds)
{
  DaemonConfig config = GetDaemonConfig();
  config.passIntervalMs = 50;
  SetDaemonConfig(config);
  PlugAndWaitForItsFile();
  EXPECT_FALSE(IsCacheWatchActive());
  EXPECT_TRUE(MarkerIsAnswered()) << File("S1");
}

TEST_F(CacheWatchTest, InformationFilesAndHiddenNamesAreNoChange)
{
  ASSERT_TRUE(StartCacheWatch(kTQ58CacheFolder));
  const uint64_t before = GetCacheChanges();
  const std::string folder = std::string(tq58_layout::kCacheFolder).substr(1);
  root_.WriteFile(folder + "/TQ-58_S9.log", "x");
  root_.WriteFile(folder + "/.TQ-58_S9.log.tmp", "x");
  // The marker comes by a rename, one event (a file written in place gives
  // two, its creation and its close, which may be read apart).
  const std::string hidden = root_.WriteFile(folder + "/.marker", "");
  std::filesystem::rename(hidden, root_.Path() + "/" + folder + "/TQ-58_S9_UTIL");
  // Events come in order: the marker's is counted only after the others were read.
  ASSERT_TRUE(WaitUntil([&] { return GetCacheChanges() != before; }, 5000));
  EXPECT_EQ(GetCacheChanges(), before + 1);
}

TEST_F(CacheWatchTest, AFolderMadeAnewIsWatchedAgain)
{
  ASSERT_TRUE(StartCacheWatch(kTQ58CacheFolder));
  PlugAndWaitForItsFile();
  const std::string folder = root_.CacheFolder(false);
  std::filesystem::rename(folder, folder + ".aside");
  ASSERT_TRUE(WaitUntil([&] { return !IsCacheWatchActive(); }, 5000));
  std::filesystem::create_directory(folder);
  ASSERT_TRUE(WaitUntil([&] { return IsCacheWatchActive(); }, 5000));
  EXPECT_TRUE(MarkerIsAnswered()) << File("S1");
}
