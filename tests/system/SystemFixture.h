// The whole system on one machine: the installed tree below a temporary
// TQ58_ROOT (cmake --install), a private cupsd whose ServerBin holds our
// filter and backend, the status daemon infotq58 and the printer emulator on
// an emulated bus. Printers are plugged in by the test; the daemon makes
// their queues.
#ifndef TQ58_TEST_SYSTEMFIXTURE_H
#define TQ58_TEST_SYSTEMFIXTURE_H

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "Common.h"
#include "CupsdFixture.h"
#include "DaemonProcess.h"
#include "DaemonTestUtil.h"
#include "Emulator.h"
#include "FixedPath.h"
#include "InstallLayout.h"
#include "PacketDecoder.h"
#include "PrintImage.h"
#include "Process.h"
#include "TempRoot.h"

inline const std::string kQueue = "PELLORI_SYSTEMS_TQ_58";
inline const std::string kUriPrefix = "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=";

// One print as the emulator received it, as RGB.
struct PrintPicture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // Mean of channel c over the rectangle [x0, x1) x [y0, y1).
  double Mean(int c, int x0, int y0, int x1, int y1) const
  {
    double sum = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) sum += rgb[(static_cast<size_t>(y) * width + x) * 3 + c];
    return sum / (static_cast<double>(x1 - x0) * (y1 - y0));
  }
};

class SystemTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    const ProcessResult install = RunProcess({TQ58_CMAKE_COMMAND, "--install", TQ58_BINARY_DIR, "--prefix", root_.Path()});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    char pattern[] = "/tmp/tq58-sbus-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    bus_ = pattern;
    emulator_ = std::make_unique<Emulator>(bus_);
    prints_ = root_.Path() + "/prints";
    cupsd_.SetEnv("TQ58_ROOT", root_.Path());
    cupsd_.SetEnv("TQ58_EMULATED_USB", bus_);
    std::string error;
    ASSERT_TRUE(cupsd_.Start(&error)) << error;
    // The installed filter and backend (mode 0700: cupsd runs it as root).
    std::filesystem::create_symlink(TQ58_FixedPath(tq58_layout::kFilter), cupsd_.ServerBin() + "/filter/rastertotq58");
    std::filesystem::create_symlink(TQ58_FixedPath(tq58_layout::kBackend), cupsd_.ServerBin() + "/backend/fyxbackend");
    home_ = root_.Path() + "/home";
    std::filesystem::create_directories(home_);
    ASSERT_TRUE(daemon_.Start(TQ58_FixedPath(tq58_layout::kDaemon),
                              {"TQ58_ROOT=" + root_.Path(), "TQ58_EMULATED_USB=" + bus_,
                               "CUPS_SERVER=" + cupsd_.SocketPath(), "CUPS_SERVERROOT=" + cupsd_.Root() + "/conf",
                               "HOME=" + home_},
                              home_, root_.Path() + "/daemon.out"));
  }

  void TearDown() override
  {
    if (HasFailure()) {
      const std::string log = cupsd_.ErrorLog();
      std::cerr << "daemon:\n" << ReadText(root_.Path() + "/daemon.out") << "\ncupsd (end):\n"
                << log.substr(log.size() > 6000 ? log.size() - 6000 : 0) << "\n";
    }
    if (daemon_.Pid() > 0) {
      EXPECT_EQ(daemon_.Stop(SIGTERM), 0);
    }
    emulator_.reset();
    cupsd_.Stop();
    std::error_code ec;
    std::filesystem::remove_all(bus_, ec);
  }

  // Plugs in printer name with serial "TQ58-0001", saving its prints as PNG.
  void Plug(const std::string& name = "p1", const std::function<void(EmulatedPrinterState&)>& change = nullptr)
  {
    EmulatedPrinterState state;
    state.saveFolder = prints_;
    state.savePng = true;
    if (change) change(state);
    ASSERT_TRUE(emulator_->Plug(name, state));
  }
  // Waits for the daemon's queue of serial text serial.
  void WaitForQueue(const std::string& serial = "TQ58-0001")
  {
    ASSERT_TRUE(WaitUntil(
        [&] {
          char uri[1024] = {};
          return _GetCupsDeviceURI(kQueue.c_str(), uri, sizeof uri) == 0 && uri == kUriPrefix + serial;
        },
        15000));
  }
  // Submits file to the queue with options ("-o" values); returns the job ID.
  std::string Print(const std::string& file, const std::vector<std::string>& options, int copies = 1)
  {
    std::vector<std::string> argv = {"lp", "-d", kQueue, "-n", std::to_string(copies)};
    for (const std::string& o : options) argv.insert(argv.end(), {"-o", o});
    argv.push_back(file);
    const ProcessResult lp = cupsd_.Run(argv);
    EXPECT_EQ(lp.exitCode, 0) << lp.err;
    const size_t dash = lp.out.find(kQueue + "-");
    if (dash == std::string::npos) return std::string();
    const size_t start = dash + kQueue.size() + 1;
    return lp.out.substr(start, lp.out.find(' ', start) - start);
  }
  static int ActiveJobs()
  {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs(&jobs, kQueue.c_str(), 0, CUPS_WHICHJOBS_ACTIVE);
    cupsFreeJobs(n, jobs);
    return n;
  }
  bool WaitForJobsDone(int ms) const { return WaitUntil([] { return ActiveJobs() == 0; }, ms); }
  static std::string PrinterStateReasons()
  {
    cups_dest_t* dests = nullptr;
    const int n = cupsGetDests(&dests);
    const cups_dest_t* dest = cupsGetDest(kQueue.c_str(), nullptr, n, dests);
    const char* reasons = dest != nullptr ? cupsGetOption("printer-state-reasons", dest->num_options, dest->options) : nullptr;
    const std::string text = reasons != nullptr ? reasons : "";
    cupsFreeDests(n, dests);
    return text;
  }

  std::string CacheFile(const std::string& name) const { return root_.CacheFolder(false) + "/" + name; }
  std::string Info(const std::string& key, const std::string& serial = "TQ58-0001") const
  {
    return InfoValue(ReadText(CacheFile("TQ-58_" + serial + ".log")), key);
  }
  void Touch(const std::string& suffix, const std::string& serial = "TQ58-0001") const
  {
    std::ofstream(CacheFile("TQ-58_" + serial + suffix)).flush();
  }

  // The sample chart (1266 x 1836) as a JPEG.
  std::string SamplePhoto() const
  {
    const std::string ppm = root_.Path() + "/photo.ppm", jpg = root_.Path() + "/photo.jpg";
    EXPECT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, ppm, "1266", "1836"}).exitCode, 0);
    EXPECT_EQ(RunProcess({"cjpeg", "-quality", "95", "-outfile", jpg, ppm}).exitCode, 0);
    return jpg;
  }

  static PrintPicture Picture(const EmulatedPrint& print)
  {
    PrintPicture picture;
    PlaneImage planes[3];
    std::string error;
    for (int i = 0; i < 3 && i < static_cast<int>(print.planes.size()); ++i) {
      DecodedPacket packet;
      packet.hasPayload = true;
      packet.payload.assign(print.planes[i].begin(), print.planes[i].end());
      EXPECT_TRUE(TQ58_ReadPlane(packet, &planes[i], &error)) << error;
    }
    if (TQ58_ComposePrint(planes[0], planes[1], planes[2], &picture.rgb)) {
      picture.width = planes[0].width;
      picture.height = planes[0].height;
    }
    return picture;
  }

  TempRoot root_;
  PrivateCupsd cupsd_;
  std::string bus_, prints_, home_;
  std::unique_ptr<Emulator> emulator_;
  DaemonProcess daemon_;
};

#endif
