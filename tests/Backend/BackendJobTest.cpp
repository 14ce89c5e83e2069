// Whole backend jobs against the printer emulator: the job information file,
// the stream, waiting for a printer that is not there, unplugging during a
// job, cancelling, and the daemon's queries on a connection of their own.
#include <cups/backend.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>

#include "BackendJobFixture.h"
#include "DaemonTestUtil.h"
#include "PhotoPrinterIF.h"
#include "PrinterLink.h"
#include "UsbIdsTQ58.h"

namespace {

std::vector<std::string> PlanesOf(const std::vector<EmulatedPrint>& prints, size_t index)
{
  return index < prints.size() ? prints[index].planes : std::vector<std::string>();
}

std::vector<std::string> SentPlanes(int print, size_t size)
{
  return {PlanePayload(print, 0, size), PlanePayload(print, 1, size), PlanePayload(print, 2, size)};
}

TEST_F(BackendJobTest, SendsTheStreamWithTheJobFileFromThePrintersAnswer)
{
  std::string during;
  lines_.OnLine([&](const std::string& line) {
    if (line.rfind("INFO: Printing", 0) == 0) during = ReadText(JobFile("11"));
  });
  PipeFeeder input(JobStream(2, 20000));
  EXPECT_EQ(Run(Job("11", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_EQ(during, "MEDIA_CLASS=\"0001\"\n");
  EXPECT_FALSE(std::filesystem::exists(JobFile("11")));
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000));
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  EXPECT_EQ(PlanesOf(prints, 0), SentPlanes(1, 20000));
  EXPECT_EQ(PlanesOf(prints, 1), SentPlanes(2, 20000));
  EXPECT_TRUE(lines_.Has("STATE: +connecting-to-device"));
  EXPECT_TRUE(lines_.Has("STATE: -connecting-to-device"));
  EXPECT_TRUE(lines_.Has("INFO: Sent 2 print(s) to the printer."));
}

TEST_F(BackendJobTest, TheDaemonsFileGivesTheMediaClassBeforeThePrinterIsLookedFor)
{
  root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_" + kSerialText + ".log",
                  "#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\nMEDIA_CLASS=\"0007\"\n");
  std::string atStart;
  lines_.OnLine([&](const std::string& line) {
    if (line == "STATE: +connecting-to-device") atStart = ReadText(JobFile("12"));
  });
  PipeFeeder input(JobStream(1, 100));
  EXPECT_EQ(Run(Job("12", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_EQ(atStart, "MEDIA_CLASS=\"0007\"\n");
  EXPECT_FALSE(std::filesystem::exists(JobFile("12")));
}

TEST_F(BackendJobTest, AnInformationFileOfAnotherUserIsNotTrusted)
{
  // Planted before the daemon ever wrote the file; the printer itself answers 0001.
  const std::string info = root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_" + kSerialText + ".log",
                                           "#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\nMEDIA_CLASS=\"0002\"\n");
  ASSERT_EQ(chown(info.c_str(), 65534, 65534), 0);
  std::string during;
  lines_.OnLine([&](const std::string& line) {
    if (line.rfind("INFO: Printing", 0) == 0) during = ReadText(JobFile("13"));
  });
  PipeFeeder input(JobStream(1, 100));
  EXPECT_EQ(Run(Job("13", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_EQ(during, "MEDIA_CLASS=\"0001\"\n");
}

TEST_F(BackendJobTest, APrinterThatStaysAwayIsWaitedForWithItsMessageSaidAgain)
{
  ASSERT_TRUE(emulator_->Unplug("p1"));
  // A printer of another serial number is not taken for it.
  EmulatedPrinterState other;
  other.serial = "ZZ";
  ASSERT_TRUE(emulator_->Plug("p2", other));
  const std::string waiting = "INFO: Waiting for the TQ-58 printer with serial AB%2012 to be connected.";
  int said = 0;
  lines_.OnLine([&](const std::string& line) {
    // Said again and again, so that a filter's message does not stay in its place.
    if (line == waiting && ++said == 4) Plug();
  });
  PipeFeeder input(JobStream(1, 100));
  EXPECT_EQ(Run(Job("13", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_EQ(said, 4);
  EXPECT_TRUE(lines_.Has("STATE: +offline-report")) << lines_.Text();
  EXPECT_TRUE(lines_.Has("STATE: -offline-report"));
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 1; }, 3000));
  EXPECT_EQ(emulator_->GetPrintCount("p2"), 0);
  EXPECT_FALSE(std::filesystem::exists(JobFile("13")));
}

TEST_F(BackendJobTest, APrinterPluggedInWhileTheJobWaitsGetsIt)
{
  ASSERT_TRUE(emulator_->Unplug("p1"));
  lines_.OnLine([&](const std::string& line) {
    if (line == "STATE: +offline-report") Plug();
  });
  PipeFeeder input(JobStream(1, 1000));
  EXPECT_EQ(Run(Job("15", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_TRUE(lines_.Has("STATE: -offline-report"));
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 1; }, 3000));
}

TEST_F(BackendJobTest, UnpluggedDuringAJobThePrintUnderWayIsSentAgainWhole)
{
  const std::string clock = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  const std::string print2 = PrintPackets(2, 30000);
  const std::string first = clock + PrintPackets(1, 30000) + print2.substr(0, 40000);
  const std::string rest = print2.substr(40000) + PrintPackets(3, 30000);
  PipeFeeder input(first, rest);
  std::vector<EmulatedPrint> before;
  std::thread unplugger([&] {
    // Once print 1 is out: unplug, then hand the backend the rest to write.
    WaitUntil([&] { return emulator_->GetPrintCount("p1") == 1; }, 5000);
    before = emulator_->GetPrints("p1");
    emulator_->Unplug("p1");
    input.Open();
  });
  lines_.OnLine([&](const std::string& line) {
    if (line == "STATE: +offline-report") Plug();
  });
  EXPECT_EQ(Run(Job("16", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  unplugger.join();
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(PlanesOf(before, 0), SentPlanes(1, 30000));
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000))
      << emulator_->GetPrintCount("p1") << "\n"
      << lines_.Text();
  const std::vector<EmulatedPrint> after = emulator_->GetPrints("p1");
  EXPECT_EQ(PlanesOf(after, 0), SentPlanes(2, 30000));
  EXPECT_EQ(PlanesOf(after, 1), SentPlanes(3, 30000));
  EXPECT_EQ(emulator_->GetCommandLog("p1").front(), "INFO SERIAL_NUMBER");
  EXPECT_TRUE(lines_.Has("INFO: The printer is connected again."));
}

// A printer that does not answer before a print may have been replaced on
// its port: it is looked for again by its serial number, not trusted.
TEST_F(BackendJobTest, APrinterSilentBeforeAPrintIsLookedForAgainBySerial)
{
  lines_.OnLine([&](const std::string& line) {
    if (line != "PAGE: total 1") return;
    EmulatorFaultSpec silent;
    silent.query = "STATUS";
    emulator_->InjectFault("p1", silent);
  });
  PipeFeeder input(JobStream(2, 1000));
  EXPECT_EQ(Run(Job("18", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000));
  EXPECT_EQ(PlanesOf(emulator_->GetPrints("p1"), 1), SentPlanes(2, 1000));
  const std::vector<std::string> log = emulator_->GetCommandLog("p1");
  const auto starts = std::find(log.begin(), log.end(), "CNTRL START");
  ASSERT_NE(starts, log.end());
  EXPECT_NE(std::find(starts, log.end(), "INFO SERIAL_NUMBER"), log.end());
  EXPECT_FALSE(lines_.Has("STATE: +offline-report")) << lines_.Text();
}

TEST_F(BackendJobTest, CancelEndsTheWaitAndRemovesTheJobFile)
{
  ASSERT_TRUE(emulator_->Unplug("p1"));
  root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_" + kSerialText + ".log", "MEDIA_CLASS=\"0001\"\n");
  lines_.OnLine([&](const std::string& line) {
    if (line == "STATE: +offline-report") cancel_ = 1;
  });
  PipeFeeder input(JobStream(1, 100));
  EXPECT_EQ(Run(Job("17", input.ReadFd())), CUPS_BACKEND_CANCEL);
  EXPECT_TRUE(lines_.Has("INFO: The job was cancelled; 0 print(s) were made."));
  EXPECT_FALSE(std::filesystem::exists(JobFile("17")));

  // Also the wait for a printer that cannot print, after a print.
  Plug();
  lines_.OnLine([&](const std::string& line) {
    if (line == "PAGE: total 1") emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 1000; });
    if (line == "STATE: +cover-open-error") cancel_ = 1;
  });
  cancel_ = 0;
  PipeFeeder second(JobStream(2, 100));
  EXPECT_EQ(Run(Job("18", second.ReadFd())), CUPS_BACKEND_CANCEL);
  EXPECT_TRUE(lines_.Has("INFO: The job was cancelled; 1 print(s) were made.")) << lines_.Text();
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
}

TEST_F(BackendJobTest, ArgumentsAndDeviceUri)
{
  BackendJob job;
  const char* five[] = {"uri", "1", "user", "title", "1"};
  EXPECT_EQ(ParseBackendJob(5, const_cast<char**>(five), "fyxbackend://x?serial=A", lines_.Log(), &job),
            CUPS_BACKEND_CANCEL);
  const char* badId[] = {"uri", "1x", "user", "title", "1", ""};
  EXPECT_EQ(ParseBackendJob(6, const_cast<char**>(badId), "fyxbackend://x?serial=A", lines_.Log(), &job),
            CUPS_BACKEND_CANCEL);
  const char* missing[] = {"uri", "3", "user", "title", "2", "", "/nonexistent/job"};
  EXPECT_EQ(ParseBackendJob(7, const_cast<char**>(missing), "fyxbackend://x?serial=A", lines_.Log(), &job),
            CUPS_BACKEND_CANCEL);
  EXPECT_TRUE(lines_.HasPrefix("ERROR: Cannot open the print file"));
  const char* ok[] = {"uri", "3", "user", "title", "0", "PageSize=102x153mm"};
  ASSERT_EQ(ParseBackendJob(6, const_cast<char**>(ok), "fyxbackend://x?serial=A", lines_.Log(), &job), CUPS_BACKEND_OK);
  EXPECT_EQ(job.jobId, "3");
  EXPECT_EQ(job.copies, 1);
  EXPECT_FALSE(job.fromFile);

  EXPECT_EQ(GetUriSerialText("fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%2012"), "AB%2012");
  for (const char* bad : {"fyxbackend://PELLORI%20SYSTEMS/TQ-58", "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=",
                          "fyxbackend://x?serial=../../etc", "fyxbackend://x?serial=a/b"}) {
    EXPECT_EQ(GetUriSerialText(bad), "") << bad;
  }
  BackendJob noSerial = Job("18", 0, "");
  EXPECT_EQ(Run(noSerial), CUPS_BACKEND_CANCEL);
  EXPECT_FALSE(std::filesystem::exists(JobFile("18")));
}

TEST_F(BackendJobTest, AJobFileIsSentOncePerCopy)
{
  const std::string path = root_.WriteFile("job.bin", JobStream(1, 500));
  std::vector<std::string> args = {"uri", "19", "user", "title", "2", "", path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  BackendJob job;
  const std::string uri = std::string(kQueueModelTQ58.uriPrefix) + kSerialText;
  ASSERT_EQ(ParseBackendJob(7, argv.data(), uri.c_str(), lines_.Log(), &job), CUPS_BACKEND_OK);
  EXPECT_EQ(Run(job), CUPS_BACKEND_OK) << lines_.Text();
  close(job.inputFd);
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 2; }, 3000));
}

TEST_F(BackendJobTest, AProgramQueryingThePrinterGetsItOnlyBetweenPrints)
{
  std::atomic<bool> done{false};
  int answered = 0, failed = 0;
  std::thread daemonLike([&] {
    std::vector<UsbDeviceRef> devices;
    bus_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    while (!devices.empty() && !done) {
      // A claim taken at once or not at all, as the daemon's.
      PrinterHandle h;
      if (OpenPrinterInterface(bus_.get(), devices[0], 0, config_, nullptr, &h) != kUsbOk) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      char remain[64];
      (GetStatus(h.intf.get()) == 0 && GetMediaRemain(h.intf.get(), remain, sizeof remain) >= 0 ? answered : failed)++;
    }
  });
  PipeFeeder input(JobStream(4, 200000));
  EXPECT_EQ(Run(Job("20", input.ReadFd())), CUPS_BACKEND_OK) << lines_.Text();
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 4; }, 3000));
  done = true;
  daemonLike.join();
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 4u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(PlanesOf(prints, i), SentPlanes(i + 1, 200000)) << i;
  EXPECT_EQ(ForeignPacketsInsidePrints(emulator_->GetCommandLog("p1")), 0);
  EXPECT_GT(answered, 0);
  EXPECT_EQ(failed, 0);
}

// A bus whose printer refuses the first claims, as libusb does while another
// process (the daemon) holds the interface.
class BusyBus final : public UsbBus {
public:
  BusyBus(UsbBus* bus, int refusals) : bus_(bus), refusals_(refusals) {}
  UsbStatus ListDevices(uint16_t v, uint16_t p, std::vector<UsbDeviceRef>* d) override
  {
    return bus_->ListDevices(v, p, d);
  }
  void WaitForChange(unsigned ms) override { bus_->WaitForChange(ms); }
  UsbStatus OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out) override;
  int claims = 0;

private:
  class Device;
  UsbBus* bus_;
  int refusals_;
};

class BusyBus::Device final : public UsbDevice {
public:
  Device(std::unique_ptr<UsbDevice> d, BusyBus* owner) : d_(std::move(d)), owner_(owner) {}
  int GetInterfaceCount() const override { return d_->GetInterfaceCount(); }
  UsbStatus OpenInterface(int index, std::unique_ptr<UsbInterface>* out) override
  {
    if (owner_->claims++ < owner_->refusals_) return kUsbRefused;
    return d_->OpenInterface(index, out);
  }

private:
  std::unique_ptr<UsbDevice> d_;
  BusyBus* owner_;
};

UsbStatus BusyBus::OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out)
{
  std::unique_ptr<UsbDevice> d;
  const UsbStatus status = bus_->OpenDevice(device, &d);
  if (status == kUsbOk) *out = std::make_unique<Device>(std::move(d), this);
  return status;
}

TEST_F(BackendJobTest, AClaimHeldElsewhereIsTriedAgainUntilItIsFree)
{
  std::vector<UsbDeviceRef> devices;
  ASSERT_EQ(bus_->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices), kUsbOk);
  ASSERT_EQ(devices.size(), 1u);
  BusyBus busy(bus_.get(), 5);
  PrinterHandle h;
  EXPECT_EQ(OpenPrinterInterface(&busy, devices[0], 1000, config_, nullptr, &h), kUsbOk);
  EXPECT_EQ(busy.claims, 6);
  BusyBus stuck(bus_.get(), 1000000);
  EXPECT_EQ(OpenPrinterInterface(&stuck, devices[0], 50, config_, nullptr, &h), kUsbRefused);
  EXPECT_EQ(h.intf, nullptr);
  EXPECT_GE(stuck.claims, 2);
}

}  // namespace
