// The launcher against a private scheduler with real queues made by lpadmin.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CupsPrinterList.h"
#include "CupsdFixture.h"
#include "StatusLauncher.h"
#include "StatusMarkers.h"
#include "TempRoot.h"

extern char** environ;

namespace {

const std::string kUri = "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=";

// Runs a program with its standard streams on /dev/null and returns its exit status.
int RunQuietly(std::vector<std::string> argv)
{
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Start {
  std::string path;
  std::vector<std::string> args;
};

class Launcher : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    // lpadmin accepts a device URI only for a scheme with a backend.
    ASSERT_TRUE(cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
  }
  void AddQueue(const std::string& name, const std::string& uri, const std::string& info = "")
  {
    std::vector<std::string> args = {"lpadmin", "-p", name, "-v", uri, "-E"};
    if (!info.empty()) args.insert(args.end(), {"-D", info});
    const ProcessResult r = cupsd.Run(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  // Runs the launcher's logic for queue and returns the starts it asked for.
  std::vector<Start> Open(const std::string& queue, bool startSucceeds = true)
  {
    std::vector<Start> starts;
    CupsPrinterList printers;
    LauncherContext context;
    context.queueName = queue;
    context.statusInfoPath = "/opt/StatusInfoTQ-58";
    context.printers = &printers;
    context.start = [&](const std::string& path, const std::vector<std::string>& args) {
      starts.push_back({path, args});
      return startSucceeds;
    };
    LaunchStatusWindow(context);
    return starts;
  }
  TempRoot root;
  PrivateCupsd cupsd;
};

TEST_F(Launcher, StartsTheWindowWithSerialAndName)
{
  AddQueue("TQ58", kUri + "AB%2012", "Studio Printer");
  const std::vector<Start> starts = Open("TQ58");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].path, "/opt/StatusInfoTQ-58");
  EXPECT_EQ(starts[0].args, (std::vector<std::string>{"AB%2012", "Studio Printer"}));  // %20 passed unchanged
}

// The window would take a first argument that begins with "-" for an option.
TEST_F(Launcher, ASerialTextBeginningWithADashComesAfterDoubleDash)
{
  AddQueue("TQ58", kUri + "-S3", "Dash Printer");
  const std::vector<Start> starts = Open("TQ58");
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].args, (std::vector<std::string>{"--", "-S3", "Dash Printer"}));
}

TEST_F(Launcher, WrongQueuesStartNothing)
{
  AddQueue("NoBackend", "ipp://localhost/TQ-58/PELLORI?serial=X1");
  AddQueue("NoSerial", kUri);
  AddQueue("OtherModel", "fyxbackend://PELLORI%20SYSTEMS/HB-23?serial=X2");
  AddQueue("Slash", kUri + "../../x");
  EXPECT_TRUE(Open("NoBackend").empty());
  EXPECT_TRUE(Open("NoSerial").empty());
  EXPECT_TRUE(Open("OtherModel").empty());
  EXPECT_TRUE(Open("Slash").empty());
  EXPECT_TRUE(Open("Missing").empty());
  EXPECT_TRUE(Open("").empty());
  EXPECT_TRUE(Open("nobackend").empty());  // names are compared byte for byte
}

TEST_F(Launcher, OpenWindowMarkerPreventsASecondWindow)
{
  AddQueue("TQ58", kUri + "S1");
  CreateMarker("S1", StatusMarker::kUtil);
  EXPECT_TRUE(Open("TQ58").empty());
  RemoveMarker("S1", StatusMarker::kUtil);
  EXPECT_EQ(Open("TQ58").size(), 1u);
}

TEST_F(Launcher, SameUriTakesTheLastPrinterName)
{
  AddQueue("A_Queue", kUri + "S2", "First");
  AddQueue("B_Queue", kUri + "S2", "Second");
  for (const char* queue : {"A_Queue", "B_Queue"}) {
    const std::vector<Start> starts = Open(queue);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{"S2", "Second"})) << queue;
  }
}

TEST_F(Launcher, FirstQueueAndFailedStart)
{
  AddQueue("Other", "ipp://localhost/printers/x");
  AddQueue("TQ58_B", kUri + "S3");
  EXPECT_EQ(FindFirstTQ58Queue(), "TQ58_B");
  EXPECT_EQ(Open("TQ58_B", false).size(), 1u);  // a failed start ends the launcher like any other case
}

TEST(LauncherPaths, BundleLayoutOrBesideTheLauncher)
{
  TempRoot root;
  const std::string bin = root.Path() + "/build";
  std::filesystem::create_directories(bin);
  EXPECT_EQ(GetStatusInfoPath(bin + "/StatusUtilityTQ-58"), bin + "/StatusInfoTQ-58");
  const std::string app = root.Path() + "/StatusUtilityTQ-58.app/Contents";
  root.WriteFile("StatusUtilityTQ-58.app/Contents/Resources/StatusInfoTQ-58.app/Contents/MacOS/StatusInfoTQ-58", "");
  std::filesystem::create_directories(app + "/MacOS");
  EXPECT_EQ(GetStatusInfoPath(app + "/MacOS/StatusUtilityTQ-58"),
            app + "/MacOS/../Resources/StatusInfoTQ-58.app/Contents/MacOS/StatusInfoTQ-58");
}

// The real programs: the launcher starts the real window offscreen, whose
// "_UTIL" marker appears; deleting the queue ends the window and the marker.
TEST_F(Launcher, RealWindowPlacesItsMarker)
{
  AddQueue("TQ58", kUri + "REAL1", "Studio Printer");
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_EQ(RunQuietly({STATUSUTILITY_PROGRAM, "TQ58"}), 0);
  const std::string marker = GetMarkerPath("REAL1", StatusMarker::kUtil);
  const auto waitFor = [&](bool present) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::filesystem::exists(marker) != present && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return std::filesystem::exists(marker) == present;
  };
  ASSERT_TRUE(waitFor(true));
  // A second opening while the window runs starts nothing (checked by its exit and the single marker).
  EXPECT_EQ(RunQuietly({STATUSUTILITY_PROGRAM, "TQ58"}), 0);
  ASSERT_EQ(cupsd.Run({"lpadmin", "-x", "TQ58"}).exitCode, 0);
  EXPECT_TRUE(waitFor(false));
}

// The real launcher with a stand-in window beside it that records its process
// id and keeps running: the caller's pipe ends when the launcher exits, and the
// window runs on in a session of its own.
TEST_F(Launcher, WindowKeepsNeitherTheCallersOutputNorSession)
{
  AddQueue("TQ58", kUri + "PIPE1");
  const std::string bin = root.Path() + "/bin";
  const std::string pidFile = bin + "/window-pid";
  std::filesystem::create_directories(bin);
  std::filesystem::copy_file(STATUSUTILITY_PROGRAM, bin + "/StatusUtilityTQ-58");
  std::ofstream(bin + "/StatusInfoTQ-58") << "#!/bin/sh\necho $$ > '" << pidFile << ".new'\nmv '" << pidFile
                                          << ".new' '" << pidFile << "'\nexec sleep 600\n";
  chmod((bin + "/StatusInfoTQ-58").c_str(), 0755);

  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  std::string program = bin + "/StatusUtilityTQ-58", queue = "TQ58";
  char* argv[] = {program.data(), queue.data(), nullptr};
  pid_t launcher = -1;
  const int rc = posix_spawn(&launcher, argv[0], &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  ASSERT_EQ(rc, 0);
  int status = -1;
  ASSERT_EQ(waitpid(launcher, &status, 0), launcher);
  EXPECT_EQ(status, 0);

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!std::filesystem::exists(pidFile) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  pid_t window = 0;
  std::ifstream(pidFile) >> window;
  ASSERT_GT(window, 0) << "the window was not started";
  EXPECT_EQ(kill(window, 0), 0) << "the window still runs";
  EXPECT_NE(getsid(window), getsid(0));
  EXPECT_EQ(getsid(window), window) << "the window leads its own session";
  pollfd end = {out[0], POLLIN, 0};
  EXPECT_EQ(poll(&end, 1, 0), 1) << "the window still holds the launcher's output";
  char byte = 0;
  if (end.revents != 0) {
    EXPECT_EQ(read(out[0], &byte, 1), 0);
  }
  close(out[0]);
  kill(window, SIGTERM);
}

// Without a queue there is nothing to open: a usage error, not a quiet exit.
TEST(LauncherProgram, NoArgumentIsAUsageError)
{
  const ProcessResult r = RunProcess({STATUSUTILITY_PROGRAM});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("StatusUtilityTQ-58: "), std::string::npos) << r.err;
}

}  // namespace
