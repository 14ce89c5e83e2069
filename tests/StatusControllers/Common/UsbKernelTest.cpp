// The kernel's view of the USB bus without udev: uevent messages, the sysfs
// listing, and the libusb adapter and the daemon's watcher learning of plugs
// and unplugs from injected uevents over a sysfs tree of the test's own.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "DaemonTestUtil.h"
#include "DeviceThreads.h"
#include "TempRoot.h"
#include "UsbKernel.h"
#include "UsbLibusb.h"
#include "WatchedBus.h"
#include "UsbIdsTQ58.h"

namespace {

// A kernel uevent message: the header, then NUL-terminated fields.
std::string Uevent(const std::string& action, const std::string& devPath, const std::vector<std::string>& fields)
{
  std::string m = action + "@" + devPath + '\0' + "ACTION=" + action + '\0' + "DEVPATH=" + devPath + '\0';
  for (const std::string& f : fields) m += f + '\0';
  return m;
}

std::string UsbDeviceEvent(const std::string& action, const std::string& name, int devnum)
{
  char number[8];
  std::snprintf(number, sizeof number, "%03d", devnum);
  return Uevent(action, "/devices/pci0000:00/0000:00:01.2/usb1/" + name,
                {"SUBSYSTEM=usb", "MAJOR=189", "DEVNAME=bus/usb/001/" + std::string(number), "DEVTYPE=usb_device",
                 "PRODUCT=1a2b/c/100", "BUSNUM=001", "DEVNUM=" + std::string(number), "SEQNUM=4711"});
}

bool Parse(const std::string& message, UsbUevent* event)
{
  return TQ58_ParseUsbUevent(message.data(), message.size(), event);
}

TEST(UsbUeventTest, OnlyTheAdditionOrRemovalOfAWholeUsbDeviceCounts)
{
  UsbUevent event;
  ASSERT_TRUE(Parse(UsbDeviceEvent("add", "1-1", 5), &event));
  EXPECT_TRUE(event.added);
  EXPECT_EQ(event.devPath, "/devices/pci0000:00/0000:00:01.2/usb1/1-1");
  EXPECT_EQ(event.busNumber, 1u);
  EXPECT_EQ(event.deviceNumber, 5u);
  ASSERT_TRUE(Parse(UsbDeviceEvent("remove", "1-1", 5), &event));
  EXPECT_FALSE(event.added);

  const std::string path = "/devices/pci0000:00/0000:00:01.2/usb1/1-1/1-1:1.0";
  EXPECT_FALSE(Parse(Uevent("add", path, {"SUBSYSTEM=usb", "DEVTYPE=usb_interface"}), &event));
  EXPECT_FALSE(Parse(Uevent("bind", path, {"SUBSYSTEM=usb", "DEVTYPE=usb_device"}), &event));
  EXPECT_FALSE(Parse(Uevent("change", path, {"SUBSYSTEM=usb", "DEVTYPE=usb_device"}), &event));
  EXPECT_FALSE(Parse(Uevent("add", "/devices/virtual/block/loop0", {"SUBSYSTEM=block", "DEVTYPE=disk"}), &event));
  // udev's own messages have no "ACTION@DEVPATH" header.
  std::string udev = UsbDeviceEvent("add", "1-1", 5);
  udev.replace(0, udev.find('\0'), "libudev");
  EXPECT_FALSE(Parse(udev, &event));
}

TEST(UsbUeventTest, MalformedMessagesCountForNothing)
{
  UsbUevent event;
  const std::string whole = UsbDeviceEvent("add", "1-1", 5);
  EXPECT_FALSE(TQ58_ParseUsbUevent(nullptr, 10, &event));
  EXPECT_FALSE(TQ58_ParseUsbUevent(whole.data(), 0, &event));
  EXPECT_FALSE(Parse(std::string("add@/devices/usb1/1-1"), &event));  // no NUL after the header
  // Cut before DEVTYPE ends: that field is not there.
  const size_t devType = whole.find("DEVTYPE=usb_device");
  EXPECT_FALSE(Parse(whole.substr(0, devType + 10), &event));
  // Fields without '=' and numbers that are none are passed over.
  std::string odd = Uevent("remove", "/devices/usb1/1-2",
                           {"GARBAGE", "SUBSYSTEM=usb", "DEVTYPE=usb_device", "BUSNUM=x1", "DEVNUM=99999999999"});
  ASSERT_TRUE(Parse(odd, &event));
  EXPECT_EQ(event.busNumber, 0u);
  EXPECT_EQ(event.deviceNumber, 0u);
}

// A sysfs tree of the test's own: <root>/bus/usb/devices/<name>/{idVendor,...}.
class FakeSysfs {
public:
  explicit FakeSysfs(const std::string& root) : folder_(root + "/bus/usb/devices")
  {
    std::filesystem::create_directories(folder_);
  }
  void Add(const std::string& name, const std::string& vendor, const std::string& product, int bus, int dev) const
  {
    const std::string d = folder_ + "/" + name;
    std::filesystem::create_directories(d);
    std::ofstream(d + "/idVendor") << vendor << "\n";
    std::ofstream(d + "/idProduct") << product << "\n";
    std::ofstream(d + "/busnum") << bus << "\n";
    std::ofstream(d + "/devnum") << dev << "\n";
  }
  void Remove(const std::string& name) const { std::filesystem::remove_all(folder_ + "/" + name); }

private:
  std::string folder_;
};

TEST(KernelUsbDevicesTest, SysfsListsDevicesNotHubsOrInterfaces)
{
  TempRoot root;
  FakeSysfs sysfs(root.Path() + "/sys");
  sysfs.Add("usb1", "1d6b", "0002", 1, 1);  // the root hub
  sysfs.Add("1-1", "1a2b", "000c", 1, 5);
  sysfs.Add("1-1.4", "1a2b", "000d", 1, 7);
  sysfs.Add("1-1:1.0", "1a2b", "000c", 1, 5);  // an interface (real ones have no idVendor)
  sysfs.Add("2-3", "zz", "000c", 2, 2);        // unreadable values
  sysfs.Add("2-..", "1a2b", "000c", 2, 3);
  std::vector<KernelUsbDevice> devices;
  ASSERT_TRUE(TQ58_ListKernelUsbDevices(root.Path() + "/sys", &devices));
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].GetId(), "001-1@005");
  EXPECT_EQ(devices[0].vendorId, 0x1A2B);
  EXPECT_EQ(devices[0].productId, 12);
  EXPECT_EQ(devices[1].GetId(), "001-1.4@007");
  EXPECT_FALSE(TQ58_ListKernelUsbDevices(root.Path() + "/nothing", &devices));
  EXPECT_TRUE(devices.empty());
}

TEST(KernelUsbDevicesTest, OnlyUsbDeviceNoticesFromTheKernelWakeTheWatcher)
{
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
  const auto send = [&](const std::string& m) {
    ASSERT_EQ(::send(fds[1], m.data(), m.size(), 0), static_cast<ssize_t>(m.size()));
  };
  EXPECT_FALSE(TQ58_DrainUsbUevents(fds[0], false));
  send(Uevent("add", "/devices/virtual/block/loop0", {"SUBSYSTEM=block"}));
  send(Uevent("bind", "/devices/usb1/1-1/1-1:1.0", {"SUBSYSTEM=usb", "DEVTYPE=usb_interface"}));
  EXPECT_FALSE(TQ58_DrainUsbUevents(fds[0], false));
  send(Uevent("add", "/devices/virtual/block/loop0", {"SUBSYSTEM=block"}));
  send(UsbDeviceEvent("remove", "1-1", 5));
  EXPECT_TRUE(TQ58_DrainUsbUevents(fds[0], false));
  EXPECT_FALSE(TQ58_DrainUsbUevents(fds[0], false));  // all taken
  // A message that does not come from the kernel (any local process can
  // send on this socket) is not believed.
  send(UsbDeviceEvent("add", "1-1", 6));
  EXPECT_FALSE(TQ58_DrainUsbUevents(fds[0], true));
  close(fds[0]);
  close(fds[1]);
}

// The libusb adapter over a sysfs tree of the test's own, its uevents sent by the test.
class KernelWatchTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    sysfs_ = std::make_unique<FakeSysfs>(root_.Path() + "/sys");
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    sender_ = fds[1];
    LibusbBusOptions options;
    options.sysfsRoot = root_.Path() + "/sys";
    options.devRoot = root_.Path() + "/dev";
    options.ueventFd = fds[0];
    UsbStatus status = kUsbOk;
    bus_ = TQ58_OpenLibusbBus(options, &status);
    if (bus_ == nullptr) GTEST_SKIP() << "libusb cannot start here (status " << status << ")";
  }
  void TearDown() override
  {
    bus_.reset();
    if (sender_ >= 0) close(sender_);
  }
  void Send(const std::string& message) const
  {
    ASSERT_EQ(send(sender_, message.data(), message.size(), 0), static_cast<ssize_t>(message.size()));
  }
  std::vector<std::string> Listed() const
  {
    std::vector<UsbDeviceRef> devices;
    EXPECT_EQ(bus_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices), kUsbOk);
    std::vector<std::string> ids;
    for (const UsbDeviceRef& d : devices) ids.push_back(d.id);
    return ids;
  }

  TempRoot root_;
  std::unique_ptr<FakeSysfs> sysfs_;
  int sender_ = -1;
  std::unique_ptr<UsbBus> bus_;
};

using Ids = std::vector<std::string>;

TEST_F(KernelWatchTest, TheBusIsListedAgainOnlyWhenTheKernelSaysItChanged)
{
  sysfs_->Add("1-1", "1a2b", "000c", 1, 5);
  EXPECT_EQ(Listed(), Ids{"001-1@005"});
  sysfs_->Add("1-2", "1a2b", "000c", 1, 6);
  EXPECT_EQ(Listed(), Ids{"001-1@005"});  // nothing said: no rescan
  Send(Uevent("add", "/devices/virtual/block/loop0", {"SUBSYSTEM=block"}));
  EXPECT_EQ(Listed(), Ids{"001-1@005"});
  Send(UsbDeviceEvent("add", "1-2", 6));
  EXPECT_EQ(Listed(), (Ids{"001-1@005", "001-2@006"}));
  // A device libusb does not know is looked for among the kernel's: one that
  // is not there, or has no device node, is gone.
  std::unique_ptr<UsbDevice> device;
  EXPECT_EQ(bus_->OpenDevice(UsbDeviceRef{"001-9@009", kTQ58UsbVendorId, kTQ58UsbProductId}, &device), kUsbNoDevice);
  EXPECT_EQ(bus_->OpenDevice(UsbDeviceRef{"001-2@006", kTQ58UsbVendorId, kTQ58UsbProductId}, &device), kUsbNoDevice);
  EXPECT_EQ(device, nullptr);
}

TEST_F(KernelWatchTest, AWatcherSeesAPrinterUnpluggedAndPluggedInAgainFromTheEventsAlone)
{
  sysfs_->Add("1-1", "1a2b", "000c", 1, 5);
  UsbWatcher watcher(bus_.get(), kTQ58UsbVendorId, kTQ58UsbProductId);
  std::vector<UsbDeviceRef> added, removed;
  watcher.Poll(0, &added, &removed);
  ASSERT_EQ(added.size(), 1u);
  // Each poll may wait longer than the test waits for it: only an event ends it in time.
  const auto poll = [&] { return std::async(std::launch::async, [&] { watcher.Poll(20000, &added, &removed); }); };
  auto done = poll();
  sysfs_->Remove("1-1");
  Send(UsbDeviceEvent("remove", "1-1", 5));
  ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(added.empty());
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0].id, "001-1@005");
  done = poll();
  sysfs_->Add("1-1", "1a2b", "000c", 1, 6);
  Send(UsbDeviceEvent("add", "1-1", 6));
  ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].id, "001-1@006");
}

TEST_F(KernelWatchTest, TheDaemonsWatcherGivesAPrinterPluggedInAgainANewRecord)
{
  DaemonConfig config = FastDaemonConfig();
  config.busPollMs = 20000;  // longer than the test waits: no periodic look at the bus helps
  config.passIntervalMs = 600000;
  SetDaemonConfig(config);
  std::atomic<bool> stop{false};
  testing::internal::CaptureStdout();  // the passes cannot open the stand-in device
  std::thread watch([&] { RunDeviceWatch(bus_.get(), kTQ58UsbVendorId, kTQ58UsbProductId, &stop); });
  const auto recorded = [] {
    std::vector<std::string> ids;
    for (const UsbDeviceRef& d : GetRecordedDevices()) ids.push_back(d.id);
    return ids;
  };
  sysfs_->Add("1-1", "1a2b", "000c", 1, 5);
  Send(UsbDeviceEvent("add", "1-1", 5));
  EXPECT_TRUE(WaitUntil([&] { return recorded() == Ids{"001-1@005"}; }, 5000));
  sysfs_->Remove("1-1");
  Send(UsbDeviceEvent("remove", "1-1", 5));
  EXPECT_TRUE(WaitUntil([&] { return recorded().empty(); }, 5000));
  sysfs_->Add("1-1", "1a2b", "000c", 1, 6);
  Send(UsbDeviceEvent("add", "1-1", 6));
  EXPECT_TRUE(WaitUntil([&] { return recorded() == Ids{"001-1@006"}; }, 5000));
  // The watcher ends at its next wake: the stop flag and one more event.
  stop = true;
  Send(UsbDeviceEvent("add", "1-3", 7));
  watch.join();
  DeviceRemoved(GetRecordedDevices());
  testing::internal::GetCapturedStdout();
  SetDaemonConfig(DaemonConfig());
}

}  // namespace
