// The printer application on the kernel's USB stack: PAPPL's own usb://
// device finds the gadget printer, the printer's queries (state, loaded
// media) and a photo's print go through libusb, and the printer's state
// reaches the application's printer.
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cups/cups.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "PrinterAppServer.h"
#include "Process.h"
#include "UsbVmFixture.h"

namespace {

constexpr int kJobWaitMs = 240000;

// The guest's loopback interface is down after boot; the application's
// listeners need it. Blocks briefly.
bool BringUpLoopback()
{
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::snprintf(request.ifr_name, sizeof request.ifr_name, "lo");
  bool up = ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  if (up && (request.ifr_flags & IFF_UP) == 0) {
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  }
  close(fd);
  return up;
}

class UsbVmPrinterAppTest : public UsbVmTest {
protected:
  static constexpr int kPort = 8631;

  void SetUp() override
  {
    UsbVmTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(BringUpLoopback());
    state_ = root_->Path() + "/app";
    std::filesystem::create_directories(state_ + "/spool");
  }

  void TearDown() override
  {
    if (app_.IsRunning()) {
      EXPECT_EQ(app_.Stop(SIGTERM), 0) << GetLog();
    }
    UsbVmTest::TearDown();
  }

  std::vector<std::string> GetEnvironment() const
  {
    return GetPrinterAppEnvironment(state_, root_->Path(), TQ58_LSAN_SUPPRESSIONS);
  }

  // Starts the server and waits for its control socket. Blocks.
  bool StartApp()
  {
    const std::vector<std::string> argv = GetPrinterAppServerArgv(TQ58_PRINTER_APP_PATH, kPort, state_);
    if (!app_.Start(argv, GetEnvironment(), state_ + "/server.out")) return false;
    return WaitUntil([&] { return access((state_ + "/tq58-printer-app.sock").c_str(), F_OK) == 0; }, 60000);
  }

  ProcessResult Run(const std::vector<std::string>& args) const
  {
    std::vector<std::string> argv = {TQ58_PRINTER_APP_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv, "", GetEnvironment());
  }

  // The usb:// device URI the application lists for the printer with serial.
  std::string FindUsbUri(const std::string& serial) const
  {
    std::istringstream lines(Run({"devices"}).out);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("usb://", 0) == 0 && line.find(serial) != std::string::npos) return line.substr(0, line.find(' '));
    }
    return std::string();
  }

  // Adds the printer with serial under the name "vmp", on the device URI the
  // application lists for it. Blocks.
  void AddPrinter(const std::string& serial)
  {
    std::string uri;
    ASSERT_TRUE(WaitUntil([&] { return !(uri = FindUsbUri(serial)).empty(); }, 30000)) << [&] {
      const ProcessResult devices = Run({"devices"});
      return devices.out + devices.err;
    }();
    EXPECT_EQ(uri.rfind("usb://", 0), 0u) << uri;
    const ProcessResult add = Run({"add", "-d", "vmp", "-m", "pellori_tq-58", "-v", uri});
    ASSERT_EQ(add.exitCode, 0) << add.out << add.err << GetLog();
  }

  // A photo through "submit". Blocks.
  void SubmitPhoto()
  {
    const std::string photo = root_->Path() + "/photo.png";
    ASSERT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, photo, "1200", "1800"}).exitCode, 0);
    const ProcessResult submit = Run({"submit", "-d", "vmp", photo});
    ASSERT_EQ(submit.exitCode, 0) << submit.out << submit.err << GetLog();
  }

  // The printer's printer-state-reasons, asked over IPP. Blocks.
  static std::string GetStateReasons()
  {
    http_t* http = httpConnect2("localhost", kPort, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
    if (http == nullptr) return "(no connection)";
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
                 ("ipp://localhost:" + std::to_string(kPort) + "/ipp/print/vmp").c_str());
    ipp_t* response = cupsDoRequest(http, request, "/ipp/print/vmp");
    char text[1024] = "";
    ipp_attribute_t* reasons = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD);
    if (reasons != nullptr) ippAttributeString(reasons, text, sizeof text);
    ippDelete(response);
    httpClose(http);
    return text;
  }

  std::string GetLog() const { return ReadText(state_ + "/app.log") + ReadText(state_ + "/server.out"); }

  std::string state_;
  GuestProcess app_;
};

TEST_F(UsbVmPrinterAppTest, PhotoPrintsOverUsb)
{
  Plug("p1", "VMAP01");
  ASSERT_TRUE(StartApp()) << GetLog();
  AddPrinter("VMAP01");
  SubmitPhoto();
  ASSERT_TRUE(WaitUntil([&] { return emulator_->GetPrints("p1").size() == 1; }, kJobWaitMs)) << GetLog();
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  EXPECT_EQ(prints[0].multiCut, "00000048");  // the default: 4 x 6 in
  ASSERT_EQ(prints[0].planes.size(), 3u);
  for (const std::string& plane : prints[0].planes) EXPECT_GT(plane.size(), 1000000u);
}

// The printer's state comes over the same USB link: out of paper shows as
// media-empty, a job waits, and prints once paper is loaded.
TEST_F(UsbVmPrinterAppTest, OutOfPaperShowsAndTheJobPrintsAfterTheReload)
{
  EmulatedPrinterState empty;
  empty.status = 1100;
  empty.mediaRemain = 0;
  Plug("p1", "VMAP02", empty);
  ASSERT_TRUE(StartApp()) << GetLog();
  AddPrinter("VMAP02");
  std::string reasons;
  EXPECT_TRUE(WaitUntil([&] { return (reasons = GetStateReasons()).find("media-empty") != std::string::npos; }, 60000))
      << reasons << GetLog();
  SubmitPhoto();
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 0);
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 0;
    s.mediaRemain = 50;
  }));
  EXPECT_TRUE(WaitUntil([&] { return emulator_->GetPrintCount("p1") == 1; }, kJobWaitMs)) << GetLog();
  EXPECT_TRUE(WaitUntil([&] { return GetStateReasons().find("media-empty") == std::string::npos; }, 60000))
      << GetStateReasons();
}

}  // namespace
