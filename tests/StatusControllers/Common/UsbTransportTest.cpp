#include <fcntl.h>
#include <gtest/gtest.h>
#include <libusb.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "DaemonTestUtil.h"
#include "EmulatedBusFixture.h"
#include "PhotoPrinterIF.h"
#include "UsbLibusb.h"
#include "UsbIdsTQ58.h"

namespace {

// Only the absence of devices and the mapping can be seen without hardware.
TEST(LibusbBusTest, BusWithoutPrintersListsNoneAndOpensNone)
{
  UsbStatus status = kUsbRefused;
  auto bus = TQ58_OpenLibusbBus(&status);
  if (bus == nullptr) GTEST_SKIP() << "libusb cannot start here (status " << status << ")";
  std::vector<UsbDeviceRef> devices = {UsbDeviceRef{"stale", 1, 2}};
  EXPECT_EQ(bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices), kUsbOk);
  EXPECT_TRUE(devices.empty());
  EXPECT_EQ(bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, nullptr), kUsbInvalid);
  std::unique_ptr<UsbDevice> device;
  EXPECT_EQ(bus->OpenDevice(UsbDeviceRef{"001-1@002", kTQ58UsbVendorId, kTQ58UsbProductId}, &device), kUsbNoDevice);
  EXPECT_EQ(device, nullptr);
  EXPECT_EQ(bus->OpenDevice(UsbDeviceRef{}, nullptr), kUsbInvalid);
  bus->WaitForChange(10);  // returns after its time-out with nothing plugged in
}

TEST(LibusbBusTest, LibusbCodesMapToTransportStatus)
{
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_SUCCESS), kUsbOk);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_TIMEOUT), kUsbTimeout);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_PIPE), kUsbTransferError);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_OVERFLOW), kUsbTransferError);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_IO), kUsbTransferError);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_NO_DEVICE), kUsbNoDevice);
  EXPECT_EQ(TQ58_UsbStatusFromLibusb(LIBUSB_ERROR_INVALID_PARAM), kUsbInvalid);
  for (int code : {LIBUSB_ERROR_ACCESS, LIBUSB_ERROR_BUSY, LIBUSB_ERROR_NOT_FOUND, LIBUSB_ERROR_NOT_SUPPORTED,
                   LIBUSB_ERROR_NO_MEM, LIBUSB_ERROR_OTHER}) {
    EXPECT_EQ(TQ58_UsbStatusFromLibusb(code), kUsbRefused) << code;
  }
}

using EmulatedBusAdapterTest = EmulatedBusTest;

TEST_F(EmulatedBusAdapterTest, EnvironmentSelectsTheEmulatedBus)
{
  std::vector<UsbDeviceRef> devices;
  setenv("TQ58_EMULATED_USB", bus_.c_str(), 1);
  auto emulated = TQ58_OpenUsbBus();
  unsetenv("TQ58_EMULATED_USB");
  ASSERT_NE(emulated, nullptr);
  EXPECT_EQ(emulated->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices), kUsbOk);
  EXPECT_EQ(devices.size(), 1u);
  auto real = TQ58_OpenUsbBus();
  if (real != nullptr) {
    real->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    EXPECT_TRUE(devices.empty());
  }
}

TEST_F(EmulatedBusAdapterTest, DevicesMatchByVendorAndProduct)
{
  EmulatedPrinterState other;
  other.productId = 13;
  ASSERT_TRUE(emulator_->Plug("other", other));
  std::filesystem::create_directories(bus_ + "/half");  // a device file without a socket
  std::ofstream(bus_ + "/half/device") << "idVendor=" << kTQ58UsbVendorId << "\nidProduct=12\n";
  std::vector<UsbDeviceRef> devices;
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].id.rfind("p1#", 0), 0u);
  usb_->ListDevices(kTQ58UsbVendorId, 13, &devices);
  EXPECT_EQ(devices.size(), 1u);
}

TEST_F(EmulatedBusAdapterTest, WatcherReportsPlugAndUnplug)
{
  UsbWatcher watcher(usb_.get(), kTQ58UsbVendorId, kTQ58UsbProductId);
  std::vector<UsbDeviceRef> added, removed;
  watcher.Poll(1000, &added, &removed);
  ASSERT_EQ(added.size(), 1u);
  const UsbDeviceRef first = added[0];
  ASSERT_TRUE(emulator_->Plug("p2", EmulatedPrinterState()));
  watcher.Poll(2000, &added, &removed);
  EXPECT_EQ(added.size(), 1u);
  EXPECT_TRUE(removed.empty());
  // Out and in again between two polls: a new device.
  ASSERT_TRUE(emulator_->Unplug("p1"));
  ASSERT_TRUE(emulator_->Plug("p1", EmulatedPrinterState()));
  watcher.Poll(2000, &added, &removed);
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_EQ(removed[0], first);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_NE(added[0], first);
}

// One claim at a time: the fixture's open interface holds p1's claim.
TEST_F(EmulatedBusAdapterTest, AClaimedInterfaceRefusesASecondClaimAtOnceUntilItCloses)
{
  std::vector<UsbDeviceRef> devices;
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 1u);
  std::unique_ptr<UsbDevice> device;
  ASSERT_EQ(usb_->OpenDevice(devices[0], &device), kUsbOk);
  std::unique_ptr<UsbInterface> second;
  EXPECT_EQ(device->OpenInterface(0, &second), kUsbRefused);
  EXPECT_EQ(second, nullptr);
  intf_.reset();
  ASSERT_EQ(device->OpenInterface(0, &second), kUsbOk);
  EXPECT_EQ(GetStatus(second.get()), 0);
  EXPECT_EQ(emulator_->GetConnectionCount("p1"), 2);  // the refused claim never connected
  // Another process's lock on the file counts the same as our own open.
  second.reset();
  const int other = open((bus_ + "/p1/claim").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(device->OpenInterface(0, &second), kUsbRefused);
  close(other);
  EXPECT_EQ(device->OpenInterface(0, &second), kUsbOk);
}

// An open device is one plug-in, as on USB: a printer plugged in again under
// the same name (perhaps another printer) is not claimed through it.
TEST_F(EmulatedBusAdapterTest, AnOpenDeviceDoesNotReachAPrinterPluggedInAgainUnderItsName)
{
  intf_.reset();
  std::vector<UsbDeviceRef> devices;
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 1u);
  std::unique_ptr<UsbDevice> device;
  ASSERT_EQ(usb_->OpenDevice(devices[0], &device), kUsbOk);
  ASSERT_TRUE(emulator_->Unplug("p1"));
  EmulatedPrinterState other;
  other.serial = "OTHER";
  ASSERT_TRUE(emulator_->Plug("p1", other));
  std::unique_ptr<UsbInterface> intf;
  EXPECT_EQ(device->OpenInterface(0, &intf), kUsbNoDevice);
  EXPECT_EQ(intf, nullptr);
  EXPECT_EQ(usb_->OpenDevice(devices[0], &device), kUsbNoDevice);
  // Listed again, it is a new device that opens.
  usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
  ASSERT_EQ(devices.size(), 1u);
  ASSERT_EQ(usb_->OpenDevice(devices[0], &device), kUsbOk);
  EXPECT_EQ(device->OpenInterface(0, &intf), kUsbOk);
}

// A plug-in between the listing and the wait ends the wait at once: the
// caller would otherwise miss it until the wait's end.
TEST_F(EmulatedBusAdapterTest, APlugInBeforeTheWaitEndsItAtOnce)
{
  std::vector<UsbDeviceRef> devices;
  ASSERT_EQ(usb_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices), kUsbOk);
  ASSERT_TRUE(emulator_->Plug("p2", EmulatedPrinterState()));
  std::atomic<bool> returned{false};
  std::thread waiter([&] {
    usb_->WaitForChange(20000);
    returned = true;
  });
  EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 5000));
  waiter.join();
}

TEST_F(EmulatedBusAdapterTest, TheClaimFileIsMadeForEveryUserAndNeverThroughALink)
{
  intf_.reset();
  const mode_t old = umask(077);
  ASSERT_TRUE(emulator_->Plug("p2", EmulatedPrinterState()));
  auto p2 = OpenPrinter("p2");
  umask(old);
  ASSERT_NE(p2, nullptr);
  struct stat st;
  ASSERT_EQ(lstat((bus_ + "/p2/claim").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  p2.reset();
  // A link (or anything but a plain file) in its place refuses the claim and
  // is neither followed nor replaced.
  const std::string target = bus_ + "/target";
  ASSERT_EQ(unlink((bus_ + "/p2/claim").c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), (bus_ + "/p2/claim").c_str()), 0);
  EXPECT_EQ(OpenPrinter("p2"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_EQ(unlink((bus_ + "/p2/claim").c_str()), 0);
  ASSERT_EQ(mkfifo((bus_ + "/p2/claim").c_str(), 0666), 0);
  EXPECT_EQ(OpenPrinter("p2"), nullptr);
}

TEST_F(EmulatedBusAdapterTest, DeviceIdRequestIsAnsweredFromTheDeviceFile)
{
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.configuration = 2;
    s.interfaceNumber = 1;
    s.deviceId = "MFG:X;MDL:Z;";
  }));
  unsigned char reply[256];
  int n = 0;
  EXPECT_EQ(intf_->ControlIn(0xA1, 0, 1, 0x100, reply, sizeof reply, 5000, &n), kUsbOk);
  ASSERT_EQ(n, 14);
  EXPECT_EQ(reply[0], 0);
  EXPECT_EQ(reply[1], 14);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply) + 2, 12), "MFG:X;MDL:Z;");
  EXPECT_EQ(intf_->ControlIn(0xA1, 0, 1, 0x100, reply, 5, 5000, &n), kUsbOk);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(reply[1], 14);  // the length field still tells the whole length
  EXPECT_EQ(intf_->ControlIn(0xA1, 0, 0, 0x100, reply, sizeof reply, 5000, &n), kUsbTransferError);
  EXPECT_EQ(intf_->ControlIn(0xA1, 0, 1, 0x001, reply, sizeof reply, 5000, &n), kUsbTransferError);
  EXPECT_EQ(intf_->ControlIn(0xA1, 1, 1, 0x100, reply, sizeof reply, 5000, &n), kUsbTransferError);
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.configuration = 0; }));
  EXPECT_EQ(intf_->ControlIn(0xA1, 0, 255, 0x100, reply, sizeof reply, 5000, &n), kUsbOk);
}

TEST_F(EmulatedBusAdapterTest, InterfaceValuesComeFromTheDeviceFile)
{
  int value = -1;
  EXPECT_EQ(intf_->GetConfigurationValue(&value), kUsbOk);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(intf_->GetInterfaceNumber(&value), kUsbOk);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(intf_->GetInterfaceNumber(nullptr), kUsbInvalid);
}

TEST_F(EmulatedBusAdapterTest, ReadTimesOutWithWhatCame)
{
  EmulatorFaultSpec f;
  f.kind = EmulatorFault::RawReply;
  f.raw = "0000";
  ASSERT_TRUE(emulator_->InjectFault("p1", f));
  const unsigned char query[] = "\x1BPSTATUS                        ";
  int n = 0;
  ASSERT_EQ(intf_->BulkWrite(query, 32, 1000, &n), kUsbOk);
  unsigned char buffer[8] = {};
  EXPECT_EQ(intf_->BulkRead(buffer, 8, 10000, &n), kUsbTimeout);
  EXPECT_EQ(n, 4);
}

}  // namespace
