// The daemon on the kernel's USB stack: discovery of one and then two
// printers, their files and queues, the device ID through the kernel, the
// seize of usblp, marker passes and an unplug during a pass.
#include <unistd.h>

#include <map>
#include <sstream>

#include "DeviceId.h"
#include "ModelTQ58.h"
#include "PhotoPrinterIF.h"
#include "PrintQueue.h"
#include "UsbVmFixture.h"

namespace {

const std::string kUri = kQueueModelTQ58.uriPrefix;
const std::string kBaseQueue = kQueueModelTQ58.baseName;

// The scheduler's queues and their device URIs.
std::map<std::string, std::string> GetQueues()
{
  std::map<std::string, std::string> queues;
  std::istringstream lines(GetVmCupsd()->Run({"lpstat", "-v"}).out);
  for (std::string line; std::getline(lines, line);) {
    const std::string head = "device for ";
    const size_t colon = line.find(": ");
    if (line.rfind(head, 0) == 0 && colon != std::string::npos) {
      queues[line.substr(head.size(), colon - head.size())] = line.substr(colon + 2);
    }
  }
  return queues;
}

TEST_F(UsbVmTest, DaemonFindsOneThenTwoPrintersWritesTheirFilesAndRegistersTheirQueues)
{
  for (const auto& [queue, uri] : GetQueues()) GetVmCupsd()->Run({"lpadmin", "-x", queue});
  Plug("p1", "VMQ001");
  StartDaemon();
  EXPECT_TRUE(WaitForInfo("VMQ001", "PRINTER_SERIAL_NO", "VMQ001", 30000)) << GetDaemonOutput();
  EXPECT_EQ(GetInfo("VMQ001", "MODEL"), "TQ-58");
  EXPECT_EQ(GetInfo("VMQ001", "PRINTER_STATUS"), "00000");
  EXPECT_EQ(GetInfo("VMQ001", "MEDIA_REMAIN"), "00050");
  EXPECT_TRUE(WaitUntil([&] { return GetQueues()[kBaseQueue] == kUri + "VMQ001"; }, 30000));

  EmulatedPrinterState second;
  second.status = 1000;
  second.mediaRemain = 7;
  Plug("p2", "VMQ002", second);
  EXPECT_TRUE(WaitForInfo("VMQ002", "PRINTER_SERIAL_NO", "VMQ002", 30000)) << GetDaemonOutput();
  EXPECT_EQ(GetInfo("VMQ002", "PRINTER_STATUS"), "01000");
  EXPECT_EQ(GetInfo("VMQ002", "MEDIA_REMAIN"), "00007");
  EXPECT_TRUE(WaitUntil([&] { return GetQueues()[kBaseQueue + "_2"] == kUri + "VMQ002"; }, 30000));
  EXPECT_EQ(GetInfo("VMQ001", "PRINTER_SERIAL_NO"), "VMQ001");
  EXPECT_EQ(GetQueues().size(), 2u);
}

TEST_F(UsbVmTest, DeviceIdComesThroughTheKernelWholeShortOrLong)
{
  const std::string shortId = EmulatedPrinterState().deviceId;
  // Longer than the first request's 256 bytes: the length field asks for a second one.
  const std::string longId = shortId + "DES:" + std::string(400, 'd') + ";";
  for (const std::string& id : {shortId, longId}) {
    EmulatedPrinterState state;
    state.deviceId = id;
    Plug("p1", "VMID01", state);
    ASSERT_TRUE(WaitUntil([] { return IsUsblpBound("VMID01"); }, 10000));
    // usblp read the same ID at its probe.
    EXPECT_EQ(ReadText("/sys/bus/usb/devices/" + GetHostInterface("VMID01") + "/ieee1284_id"), id);
    HeldPrinter held;
    ASSERT_TRUE(OpenWithLibusb("VMID01", &held));
    int configuration = 0, number = -1;
    ASSERT_EQ(held.intf->GetConfigurationValue(&configuration), kUsbOk);
    ASSERT_EQ(held.intf->GetInterfaceNumber(&number), kUsbOk);
    EXPECT_EQ(configuration, 1);
    EXPECT_EQ(number, 0);
    std::string got;
    EXPECT_TRUE(GetDeviceId(held.intf.get(), configuration, number, &got));
    EXPECT_EQ(got, id);
    char model[kModelSize] = {};
    EXPECT_TRUE(GetModelFromDeviceId(got, model, sizeof model));
    EXPECT_STREQ(model, "TQ-58");
    held.Close();
    ASSERT_TRUE(emulator_->Unplug("p1"));
    EXPECT_TRUE(WaitUntil([] { return GetHostInterface("VMID01").empty(); }, 10000));
  }
}

TEST_F(UsbVmTest, SeizeDetachesUsblpAndAPassGivesTheInterfaceBack)
{
  Plug("p1", "VMSZ01");
  ASSERT_TRUE(WaitUntil([] { return IsUsblpBound("VMSZ01"); }, 10000));
  EXPECT_EQ(access("/dev/usb/lp0", F_OK), 0);
  {
    HeldPrinter held;
    ASSERT_TRUE(OpenWithLibusb("VMSZ01", &held));
    EXPECT_FALSE(IsUsblpBound("VMSZ01"));
    EXPECT_NE(access("/dev/usb/lp0", F_OK), 0);
  }
  EXPECT_TRUE(WaitUntil([] { return IsUsblpBound("VMSZ01") && access("/dev/usb/lp0", F_OK) == 0; }, 10000));

  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMSZ01", "PRINTER_SERIAL_NO", "VMSZ01", 30000)) << GetDaemonOutput();
  ASSERT_TRUE(WaitUntil([] { return IsUsblpBound("VMSZ01"); }, 10000));
  // A slow status answer holds the marker's pass while usblp is looked at.
  EmulatorFaultSpec slow;
  slow.kind = EmulatorFault::SlowReply;
  slow.query = "STATUS";
  slow.delayMs = 1500;
  ASSERT_TRUE(emulator_->InjectFault("p1", slow));
  const size_t before = emulator_->GetCommandLog("p1").size();
  Touch("VMSZ01", "_TC_UTIL");
  ASSERT_TRUE(WaitForCommand("p1", "STATUS", 15000, before));
  EXPECT_FALSE(IsUsblpBound("VMSZ01"));
  ASSERT_TRUE(WaitForCommand("p1", "INFO MQTY", 15000, before));
  EXPECT_TRUE(WaitUntil([] { return IsUsblpBound("VMSZ01") && access("/dev/usb/lp0", F_OK) == 0; }, 10000));
}

TEST_F(UsbVmTest, MarkerPassesReadTheCountAndFollowThePrinter)
{
  EmulatedPrinterState state;
  state.totalCount = 1234;
  Plug("p1", "VMMK01", state);
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMMK01", "PRINTER_SERIAL_NO", "VMMK01", 30000)) << GetDaemonOutput();
  EXPECT_EQ(GetInfo("VMMK01", "TOTAL_COUNT"), "");  // nobody asked for it
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 1000;
    s.mediaRemain = 12;
  }));
  Touch("VMMK01", "_TC_UTIL");
  EXPECT_TRUE(WaitForInfo("VMMK01", "TOTAL_COUNT", "00001234", 15000)) << GetDaemonOutput();
  EXPECT_EQ(GetInfo("VMMK01", "PRINTER_STATUS"), "01000");
  EXPECT_EQ(GetInfo("VMMK01", "MEDIA_REMAIN"), "00012");
  EXPECT_NE(access(GetMarker("VMMK01", "_TC_UTIL").c_str(), F_OK), 0);  // consumed
  // While the window's marker stays, every pass reads the printer again.
  Touch("VMMK01", "_UTIL");
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.mediaRemain = 11; }));
  EXPECT_TRUE(WaitForInfo("VMMK01", "MEDIA_REMAIN", "00011", 15000));
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.mediaRemain = 10; }));
  EXPECT_TRUE(WaitForInfo("VMMK01", "MEDIA_REMAIN", "00010", 15000));
}

TEST_F(UsbVmTest, UnplugDuringAPassLeavesTheOfflineFileAndTheReplugIsSeen)
{
  Plug("p1", "VMUP01");
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMUP01", "PRINTER_SERIAL_NO", "VMUP01", 30000)) << GetDaemonOutput();
  EmulatorFaultSpec unplug;
  unplug.kind = EmulatorFault::Unplug;
  unplug.query = "MEDIA";
  ASSERT_TRUE(emulator_->InjectFault("p1", unplug));
  Touch("VMUP01", "_UTIL");
  EXPECT_TRUE(WaitUntil([&] { return !emulator_->IsPlugged("p1"); }, 15000));
  EXPECT_TRUE(WaitUntil([&] { return IsOffline("VMUP01"); }, 15000)) << ReadText(GetInfoFile("VMUP01"));
  EXPECT_EQ(daemon_.Wait(0), -2) << GetDaemonOutput();  // still running

  Plug("p1", "VMUP01");
  EXPECT_TRUE(WaitForInfo("VMUP01", "PRINTER_SERIAL_NO", "VMUP01", 30000)) << GetDaemonOutput();
  EXPECT_EQ(GetInfo("VMUP01", "PRINTER_STATUS"), "00000");
}

}  // namespace
