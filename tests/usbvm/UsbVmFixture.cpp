#include "UsbVmFixture.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "FixedPath.h"
#include "ModelTQ58.h"
#include "PacketDecoder.h"
#include "PhotoPrinterIF.h"
#include "Process.h"
#include "RasterTestUtil.h"
#include "UsbLibusb.h"
#include "UsbIdsTQ58.h"

namespace {

// The cupsd of the whole program; stopped when the program's tests end.
class VmEnvironment : public ::testing::Environment {
public:
  void TearDown() override
  {
    if (cupsd) cupsd->Stop();
    cupsd.reset();
  }
  std::unique_ptr<PrivateCupsd> cupsd;
  std::string stream;
  bool streamTried = false;
};

VmEnvironment* const gEnvironment = static_cast<VmEnvironment*>(::testing::AddGlobalTestEnvironment(new VmEnvironment));

std::string ReadLine(const std::string& path)
{
  std::string text = ReadText(path);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::vector<DecodedPacket> Split(const std::string& stream)
{
  std::vector<DecodedPacket> packets;
  std::string error;
  TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error);
  return packets;
}

// A 4x6 page (102 x 153 mm at 300 dpi) whose three channels change along
// both axes, so that every plane differs from line to line.
RasterPage TestPage()
{
  RasterPage page;
  page.width = 1205;
  page.height = 1807;
  page.pixel = [](unsigned x, unsigned y, unsigned c) {
    return static_cast<unsigned char>(x * (c + 1) + y * 3 + c * 85);
  };
  return page;
}

// A program of the build, or the one an environment variable names instead
// (to run the cases against other builds or installed copies).
std::string GetProgram(const char* variable, const char* built)
{
  const char* other = std::getenv(variable);
  return other != nullptr && other[0] != '\0' ? other : built;
}

}  // namespace

bool IsUsbVmGuest()
{
  const char* guest = std::getenv("TQ58_USBVM_GUEST");
  return guest != nullptr && std::string(guest) == "1" && access("/sys/class/udc/dummy_udc.0", F_OK) == 0 &&
         access("/sys/class/udc/dummy_udc.1", F_OK) == 0;
}

PrivateCupsd* GetVmCupsd(const std::string& ppdFile)
{
  if (gEnvironment->cupsd) return gEnvironment->cupsd.get();
  auto cupsd = std::make_unique<PrivateCupsd>();
  // The queue step names the PPD by its model name.
  if (!ppdFile.empty()) cupsd->AddModel(kQueueModelTQ58.ppdModel, ppdFile);
  std::string error;
  if (!cupsd->Start(&error)) {
    ADD_FAILURE() << "cupsd: " << error;
    return nullptr;
  }
  // lpadmin accepts a device URI only for a backend the scheduler has.
  EXPECT_TRUE(cupsd->AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
  gEnvironment->cupsd = std::move(cupsd);
  return gEnvironment->cupsd.get();
}

const std::string& GetFilterStream()
{
  if (gEnvironment->streamTried) return gEnvironment->stream;
  gEnvironment->streamTried = true;
  // Made below the calling test's root: the raster, and the job information
  // file the filter waits for.
  const std::string raster = TQ58_FixedPath("/stream-page.ras");
  WriteRasterFile(raster, {TestPage()});
  const std::string jobFile = TQ58_FixedPath(kTQ58CacheFolder) + "/Print_5.log";
  std::filesystem::create_directories(TQ58_FixedPath(kTQ58CacheFolder));
  std::ofstream(jobFile) << "MEDIA_CLASS=\"0001\"\n";
  const ProcessResult job =
      RunProcess({TQ58_FILTER_PATH, "5", "user", "title", "1", "PageSize=102x153mm FyxICM=None", raster}, "",
                 {"PPD=" TQ58_SOURCE_DIR "/packaging/ppd/TQ-58.ppd"});
  std::filesystem::remove(jobFile);
  std::filesystem::remove(raster);
  EXPECT_EQ(job.exitCode, 0) << job.err;
  if (job.exitCode == 0) gEnvironment->stream = job.out;
  return gEnvironment->stream;
}

std::vector<std::string> GetPacketNames(const std::string& stream)
{
  std::vector<std::string> names;
  for (const DecodedPacket& p : Split(stream))
    names.push_back(p.subcommand.empty() ? p.command : p.command + " " + p.subcommand);
  return names;
}

std::string GetPayload(const std::string& stream, const std::string& name)
{
  for (const DecodedPacket& p : Split(stream)) {
    if (p.command + " " + p.subcommand == name) return std::string(p.payload.begin(), p.payload.end());
  }
  return std::string();
}

bool OpenWithLibusb(const std::string& serial, HeldPrinter* held)
{
  held->bus = TQ58_OpenLibusbBus();
  std::vector<UsbDeviceRef> devices;
  if (held->bus == nullptr || held->bus->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices) != kUsbOk)
    return false;
  for (const UsbDeviceRef& ref : devices) {
    held->intf.reset();
    if (held->bus->OpenDevice(ref, &held->device) != kUsbOk || held->device->OpenInterface(0, &held->intf) != kUsbOk)
      continue;
    char text[64] = {};
    if (GetSerialNo(held->intf.get(), text, sizeof text) >= 0 && serial == text) return true;
  }
  held->Close();
  return false;
}

void UsbVmTest::SetUp()
{
  if (!IsUsbVmGuest()) {
    GTEST_SKIP() << "runs only in the VM of tests/usbvm/run-vm.sh (ctest -L usbvm)";
  }
  root_ = std::make_unique<TempRoot>();
  const ProcessResult ppd = RunProcess({"gzip", "-c", "-n", TQ58_SOURCE_DIR "/packaging/ppd/TQ-58.ppd"});
  ASSERT_EQ(ppd.exitCode, 0);
  home_ = root_->Path() + "/home";
  std::filesystem::create_directories(home_);
  ASSERT_NE(GetVmCupsd(WriteFile("model.ppd.gz", ppd.out)), nullptr);
  emulator_ = std::make_unique<Emulator>();
}

void UsbVmTest::TearDown()
{
  if (daemon_.IsRunning()) {
    EXPECT_EQ(daemon_.Stop(SIGTERM), 0) << GetDaemonOutput();
  }
  emulator_.reset();  // closes each gadget's device, then unbinds it
  root_.reset();
}

void UsbVmTest::Plug(const std::string& name, const std::string& serial, EmulatedPrinterState state)
{
  state.serial = serial;
  EmulatorGadgetPort port;
  port.udc = kUdc[name == "p2" ? 1 : 0];
  std::string error;
  ASSERT_TRUE(emulator_->PlugGadget(name, state, port, &error)) << error;
  ASSERT_FALSE(GetHostInterface(serial).empty());
}

std::string UsbVmTest::GetHostInterface(const std::string& serial)
{
  const std::string devices = "/sys/bus/usb/devices";
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(devices, ec)) {
    const std::string device = entry.path().filename();
    if (device.find(':') != std::string::npos || ReadLine(entry.path() / "serial") != serial) continue;
    const std::string configuration = ReadLine(entry.path() / "bConfigurationValue");
    if (!configuration.empty()) return device + ":" + configuration + ".0";
  }
  return std::string();
}

bool UsbVmTest::IsUsblpBound(const std::string& serial)
{
  const std::string intf = GetHostInterface(serial);
  return !intf.empty() && access(("/sys/bus/usb/drivers/usblp/" + intf).c_str(), F_OK) == 0;
}

void UsbVmTest::StartDaemon()
{
  ASSERT_TRUE(daemon_.Start({GetProgram("TQ58_USBVM_INFOTQ58", TQ58_INFOTQ58_PATH)}, {"HOME=" + home_},
                            root_->Path() + "/daemon.out"));
}

std::string UsbVmTest::GetDaemonOutput() const
{
  return ReadText(root_->Path() + "/daemon.out");
}

void UsbVmTest::StartBackend(GuestProcess* backend, int jobId, const std::string& serial, const std::string& jobFile)
{
  const std::string id = std::to_string(jobId);
  ASSERT_TRUE(backend->Start(
      {GetProgram("TQ58_USBVM_BACKEND", TQ58_BACKEND_PATH), id, "user", "title", "1", "", jobFile},
      {"DEVICE_URI=" + std::string(kQueueModelTQ58.uriPrefix) + serial}, root_->Path() + "/backend-" + id + ".out"));
}

std::string UsbVmTest::GetBackendOutput(int jobId) const
{
  return ReadText(root_->Path() + "/backend-" + std::to_string(jobId) + ".out");
}

std::string UsbVmTest::WriteFile(const std::string& relativePath, const std::string& text) const
{
  return root_->WriteFile(relativePath, text);
}

std::string UsbVmTest::GetInfoFile(const std::string& serial) const
{
  return TQ58_FixedPath(kTQ58CacheFolder) + "/TQ-58_" + serial + ".log";
}

std::string UsbVmTest::GetInfo(const std::string& serial, const std::string& key) const
{
  return InfoValue(ReadText(GetInfoFile(serial)), key);
}

bool UsbVmTest::WaitForInfo(const std::string& serial, const std::string& key, const std::string& value, int ms) const
{
  return WaitUntil([&] { return GetInfo(serial, key) == value; }, ms);
}

bool UsbVmTest::IsOffline(const std::string& serial) const
{
  return GetInfo(serial, "PRINTER_STATUS") == "99999" && GetInfo(serial, "PRINTER_SERIAL_NO").empty();
}

std::string UsbVmTest::GetMarker(const std::string& serial, const std::string& suffix) const
{
  return TQ58_FixedPath(kTQ58CacheFolder) + "/TQ-58_" + serial + suffix;
}

void UsbVmTest::Touch(const std::string& serial, const std::string& suffix) const
{
  std::ofstream(GetMarker(serial, suffix)).flush();
}

bool UsbVmTest::WaitForCommand(const std::string& name, const std::string& entry, int ms, size_t from) const
{
  return WaitUntil(
      [&] {
        const std::vector<std::string> log = emulator_->GetCommandLog(name);
        for (size_t i = from; i < log.size(); ++i) {
          if (log[i] == entry) return true;
        }
        return false;
      },
      ms);
}
