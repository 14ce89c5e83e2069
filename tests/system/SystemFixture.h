// The whole system on one machine: the installed tree below a temporary
// TQ58_ROOT (cmake --install), a private cupsd whose ServerBin holds our
// filter and backend and whose model folder holds our PPD, the status daemon
// infotq58 and the printer emulator on an emulated bus. Printers are plugged
// in by the test; the daemon makes their queues.
#ifndef TQ58_TEST_SYSTEMFIXTURE_H
#define TQ58_TEST_SYSTEMFIXTURE_H

#include <cups/cups.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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
#include "EmulatedBus.h"
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
    const ProcessResult install =
        RunProcess({TQ58_CMAKE_COMMAND, "--install", TQ58_BINARY_DIR, "--prefix", root_.Path()});
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    prints_ = root_.Path() + "/prints";
    cupsd_.SetEnv("TQ58_ROOT", root_.Path());
    cupsd_.SetEnv("TQ58_EMULATED_USB", bus_);
    // The installed PPD, read through the installed model link, served under its model name.
    const std::string modelFolder = std::filesystem::path(tq58_layout::kCupsModelLink).parent_path();
    cupsd_.AddModel(tq58_layout::kPpdModelName,
                    TQ58_FixedPath((modelFolder + "/" + tq58_layout::kPpdModelName).c_str()));
    std::string error;
    ASSERT_TRUE(cupsd_.Start(&error)) << error;
    // The installed filter and backend (mode 0700: cupsd runs it as root).
    ASSERT_TRUE(cupsd_.LinkProgram("filter", "rastertotq58", TQ58_FixedPath(tq58_layout::kFilter)));
    ASSERT_TRUE(cupsd_.LinkProgram("backend", "fyxbackend", TQ58_FixedPath(tq58_layout::kBackend)));
    home_ = root_.Path() + "/home";
    std::filesystem::create_directories(home_);
    ASSERT_TRUE(
        daemon_.Start(TQ58_FixedPath(tq58_layout::kDaemon),
                      {"TQ58_ROOT=" + root_.Path(), "TQ58_EMULATED_USB=" + bus_, "CUPS_SERVER=" + cupsd_.SocketPath(),
                       "CUPS_SERVERROOT=" + cupsd_.Root() + "/conf", "HOME=" + home_},
                      home_, root_.Path() + "/daemon.out"));
  }

  void TearDown() override
  {
    if (HasFailure()) {
      const std::string log = cupsd_.ErrorLog();
      std::cerr << "daemon:\n"
                << ReadText(root_.Path() + "/daemon.out") << "\ncupsd (end):\n"
                << log.substr(log.size() > 6000 ? log.size() - 6000 : 0) << "\n";
    }
    if (daemon_.Pid() > 0) {
      EXPECT_EQ(daemon_.Stop(SIGTERM), 0);
    }
    emulator_.Stop();
    cupsd_.Stop();
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
  // The queue whose device URI names the printer of serial text serial; empty when none does.
  static std::string QueueOf(const std::string& serial)
  {
    cups_dest_t* dests = nullptr;
    const int n = cupsGetDests(&dests);
    std::string queue;
    for (int i = 0; i < n && queue.empty(); ++i) {
      const char* uri = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
      if (dests[i].instance == nullptr && uri != nullptr && uri == kUriPrefix + serial) queue = dests[i].name;
    }
    cupsFreeDests(n, dests);
    return queue;
  }
  // Waits for the daemon to make a queue for serial; returns its name (empty when none came).
  std::string WaitForQueueOf(const std::string& serial, int ms = 15000) const
  {
    std::string queue;
    WaitUntil([&] { return !(queue = QueueOf(serial)).empty(); }, ms);
    return queue;
  }
  // Submits file to the queue with options ("-o" values); returns the job ID.
  std::string Print(const std::string& file, const std::vector<std::string>& options, int copies = 1)
  {
    return PrintTo(kQueue, file, options, copies);
  }
  std::string PrintTo(const std::string& queue, const std::string& file, const std::vector<std::string>& options,
                      int copies = 1)
  {
    std::vector<std::string> argv = {"lp", "-d", queue, "-n", std::to_string(copies)};
    for (const std::string& o : options) argv.insert(argv.end(), {"-o", o});
    argv.push_back(file);
    const ProcessResult lp = cupsd_.Run(argv);
    EXPECT_EQ(lp.exitCode, 0) << lp.err;
    const size_t dash = lp.out.find(queue + "-");
    if (dash == std::string::npos) return std::string();
    const size_t start = dash + queue.size() + 1;
    return lp.out.substr(start, lp.out.find(' ', start) - start);
  }
  // Active jobs of queue; of every queue when queue is null.
  static int ActiveJobs(const char* queue)
  {
    cups_job_t* jobs = nullptr;
    const int n = cupsGetJobs(&jobs, queue, 0, CUPS_WHICHJOBS_ACTIVE);
    cupsFreeJobs(n, jobs);
    return n;
  }
  static int ActiveJobs() { return ActiveJobs(kQueue.c_str()); }
  bool WaitForJobsDone(int ms) const
  {
    return WaitUntil([] { return ActiveJobs() == 0; }, ms);
  }
  static std::string PrinterStateReasons()
  {
    cups_dest_t* dests = nullptr;
    const int n = cupsGetDests(&dests);
    const cups_dest_t* dest = cupsGetDest(kQueue.c_str(), nullptr, n, dests);
    const char* reasons =
        dest != nullptr ? cupsGetOption("printer-state-reasons", dest->num_options, dest->options) : nullptr;
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
  std::string prints_, home_;
  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  DaemonProcess daemon_;
};

// Open descriptors (/proc/PID/fd) and resident memory (VmRSS) of a process; -1 when unknown.
struct ProcessFigures {
  int fds = -1;
  long rssKiB = -1;
};

inline ProcessFigures GetProcessFigures(pid_t pid)
{
  ProcessFigures figures;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code ec;
  int fds = 0;
  for (std::filesystem::directory_iterator it(proc + "/fd", ec), end; !ec && it != end; it.increment(ec)) ++fds;
  if (!ec) figures.fds = fds;
  std::ifstream status(proc + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) figures.rssKiB = std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return figures;
}

// What a process's descriptors point at, one per line (/proc/PID/fd), for a
// failure message.
inline std::string GetProcessFdTargets(pid_t pid)
{
  std::string text;
  std::error_code ec;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code linkError;
    const std::filesystem::path target = std::filesystem::read_symlink(it->path(), linkError);
    text += it->path().filename().string() + " -> " + (linkError ? std::string("?") : target.string()) + "\n";
  }
  return text;
}

// True when text is a whole information file: its sixteen lines, headers, keys
// and empty lines in their fixed order, each key line with a quoted value.
inline bool IsWholeInfoFile(const std::string& text)
{
  static const char* const kLines[] = {"#PRINTER_INFORMATION",
                                       "MODEL=",
                                       "PRINTER_STATUS=",
                                       "PRINTER_MESSAGE=",
                                       "PRINTER_VERSION=",
                                       "PRINTER_SERIAL_NO=",
                                       "",
                                       "#MEDIA_INFORMATION",
                                       "MEDIA_SIZE=",
                                       "MEDIA_CLASS=",
                                       "MEDIA_INITIAL=",
                                       "MEDIA_REMAIN=",
                                       "",
                                       "#COUNTER_INFORMATION",
                                       "TOTAL_COUNT=",
                                       ""};
  size_t at = 0;
  for (const char* expected : kLines) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(at, end - at);
    const std::string key = expected;
    if (key.empty() || key[0] == '#') {
      if (line != key) return false;
    } else if (line.rfind(key + "\"", 0) != 0 || line.size() < key.size() + 2 || line.back() != '"') {
      return false;
    }
    at = end + 1;
  }
  return at == text.size();
}

// The description (printer-info) of a queue, the name the status window is given.
inline std::string GetPrinterInfo(const std::string& queue)
{
  cups_dest_t* dests = nullptr;
  const int n = cupsGetDests(&dests);
  const cups_dest_t* dest = cupsGetDest(queue.c_str(), nullptr, n, dests);
  const char* info = dest != nullptr ? cupsGetOption("printer-info", dest->num_options, dest->options) : nullptr;
  const std::string text = info != nullptr ? info : "";
  cupsFreeDests(n, dests);
  return text;
}

// Starts the installed status window for serial and printer name on the
// offscreen platform, its output appended to outputFile. Returns its process ID, or -1.
inline pid_t StartStatusWindow(const std::string& serial, const std::string& name, const std::string& outputFile)
{
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string program = TQ58_FixedPath(tq58_layout::kStatusInfoExe), serialArg = serial, nameArg = name;
  char* argv[] = {program.data(), serialArg.data(), nameArg.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// True while pid is a running child (not yet ended or reaped).
inline bool IsChildRunning(pid_t pid)
{
  int status = 0;
  return pid > 0 && waitpid(pid, &status, WNOHANG) == 0;
}

#endif
