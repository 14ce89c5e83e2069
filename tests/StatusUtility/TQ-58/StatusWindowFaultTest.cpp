// The status window while its cache folder is removed or made read-only under
// it: real widgets, a private scheduler for the printer list, the ticks driven
// by the test. A read-only folder is a tmpfs of its own remounted read-only,
// which needs root; those cases are skipped without it.
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AppDelegate.h"
#include "CupsPrinterList.h"
#include "CupsdFixture.h"
#include "StatusMarkers.h"
#include "StatusWindow.h"
#include "TempRoot.h"

extern char** environ;

namespace {

constexpr const char* kSerial = "FT%2007";
constexpr const char* kPrinterName = "Fault Printer";

const char* kReady =
    "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"00000\"\nPRINTER_MESSAGE=\"00001\"\n"
    "PRINTER_VERSION=\"1.20\"\nPRINTER_SERIAL_NO=\"FT%2007\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\n"
    "MEDIA_CLASS=\"0001\"\nMEDIA_INITIAL=\"50\"\nMEDIA_REMAIN=\"40\"\n\n#COUNTER_INFORMATION\n"
    "TOTAL_COUNT=\"000321\"\n\n";

bool Exists(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

class StatusWindowFaults : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    ASSERT_TRUE(cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
    const ProcessResult r =
        cupsd.Run({"lpadmin", "-p", "TQ58_FT", "-v",
                   std::string("fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=") + kSerial, "-D", kPrinterName, "-E"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    folder = root.CacheFolder();
  }
  void TearDown() override
  {
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
  }
  // The cache folder on a tmpfs of its own; false (the test skips) without root.
  bool MountFolder()
  {
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0) return false;
    mounted = true;
    return true;
  }
  void SetReadOnly(bool readOnly) const
  {
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, flags, readOnly ? nullptr : "size=64k,mode=0777"), 0)
        << std::strerror(errno);
  }
  void WriteInfo(const std::string& text) const { root.WriteFile(InfoRelativePath(), text); }
  static std::string InfoRelativePath() { return std::string("var/cache/pellori/TQ-58/TQ-58_") + kSerial + ".log"; }
  static std::string Marker(StatusMarker marker) { return GetMarkerPath(kSerial, marker); }
  // The daemon's side: it consumes the one-time markers.
  static void ConsumeOneTimeMarkers()
  {
    unlink(Marker(StatusMarker::kStartUtil).c_str());
    unlink(Marker(StatusMarker::kTcUtil).c_str());
  }
  // A delegate as main makes it, launched; retries counted instead of waited for.
  std::unique_ptr<AppDelegate> Launch()
  {
    CreateMarker(kSerial, StatusMarker::kUtil);
    auto delegate = std::make_unique<AppDelegate>(std::vector<std::string>{"StatusInfoTQ-58", kSerial, kPrinterName},
                                                  std::make_unique<CupsPrinterList>());
    delegate->SetRetryPause([this] { ++retries; });
    delegate->applicationWillFinishLaunching();
    delegate->applicationDidFinishLaunching();
    return delegate;
  }
  static void ExpectReadyValues(const StatusWindow* w)
  {
    EXPECT_EQ(w->statusLabel->text(), "Ready");
    EXPECT_EQ(w->mediaCountLabel->text(), "40 / 50  prints");
    EXPECT_EQ(w->progressIndicator->value(), 80);
    EXPECT_EQ(w->totalCountLabel->text(), "321");
    EXPECT_EQ(w->serialNumberLabel->text(), "FT 07");
    EXPECT_EQ(w->firmVersionLabel->text(), "1.20");
  }
  static void ExpectOfflineTexts(const StatusWindow* w)
  {
    EXPECT_EQ(w->statusLabel->text(), qtTrId("st_99999"));
    EXPECT_EQ(w->statusMessageLabel->text(), qtTrId("ms_00006"));
    EXPECT_EQ(w->mediaSizeLabel->text(), "---");
    EXPECT_EQ(w->mediaCountLabel->text(), "--- / ---  prints");
    EXPECT_EQ(w->progressIndicator->value(), 0);
    EXPECT_EQ(w->totalCountLabel->text(), "---");
    EXPECT_EQ(w->serialNumberLabel->text(), "---");
    EXPECT_EQ(w->firmVersionLabel->text(), "---");
  }

  TempRoot root;
  PrivateCupsd cupsd;
  std::string folder;
  bool mounted = false;
  int retries = 0;
};

TEST_F(StatusWindowFaults, RemovedFolderShowsOfflineThenTheWindowMakesItsMarkerAgain)
{
  WriteInfo(kReady);
  auto delegate = Launch();
  const StatusWindow* w = delegate->GetWindow();
  delegate->repeateMethod();
  ExpectReadyValues(w);

  std::filesystem::remove_all(root.Path() + "/var/cache/pellori");
  delegate->repeateMethod();
  EXPECT_FALSE(delegate->IsTerminateRequested());
  ExpectOfflineTexts(w);
  EXPECT_EQ(retries, 0);  // a missing file is not retried
  // The window is still open, so its marker is back and the daemon polls for it again.
  EXPECT_TRUE(Exists(Marker(StatusMarker::kUtil)));
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);

  // The daemon's next pass writes the file again: the values come back, the count with them.
  WriteInfo(kReady);
  delegate->repeateMethod();
  ExpectReadyValues(w);
  delegate->applicationWillTerminate();
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowFaults, UpdateButtonWhileTheFolderIsGoneMakesTheFolderAndTheMarker)
{
  auto delegate = Launch();
  std::filesystem::remove_all(root.Path() + "/var/cache/pellori");
  delegate->GetWindow()->updateButton->click();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kTcUtil)));
  ConsumeOneTimeMarkers();
  delegate->repeateMethod();
  EXPECT_FALSE(Exists(Marker(StatusMarker::kTcUtil)));  // made once per press, not at every tick
}

TEST_F(StatusWindowFaults, ReadOnlyFolderAtLaunchKeepsTheValuesAndMakesTheMarkersOnceWritable)
{
  if (!MountFolder()) GTEST_SKIP() << "cannot mount a tmpfs on the cache folder; needs root";
  WriteInfo(kReady);
  SetReadOnly(true);
  auto delegate = Launch();
  const StatusWindow* w = delegate->GetWindow();
  delegate->GetWindow()->updateButton->click();
  for (int tick = 0; tick < 3; ++tick) delegate->repeateMethod();
  EXPECT_FALSE(delegate->IsTerminateRequested());
  ExpectReadyValues(w);  // the file is still there and readable
  EXPECT_EQ(retries, 0);
  for (StatusMarker m : {StatusMarker::kUtil, StatusMarker::kStartUtil, StatusMarker::kTcUtil}) {
    EXPECT_FALSE(Exists(Marker(m)));
  }

  // Writable again: the markers that could not be made are made at the next tick, once.
  SetReadOnly(false);
  delegate->repeateMethod();
  for (StatusMarker m : {StatusMarker::kUtil, StatusMarker::kStartUtil, StatusMarker::kTcUtil}) {
    EXPECT_TRUE(Exists(Marker(m)));
  }
  ConsumeOneTimeMarkers();
  delegate->repeateMethod();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kUtil)));
  EXPECT_FALSE(Exists(Marker(StatusMarker::kStartUtil)));
  EXPECT_FALSE(Exists(Marker(StatusMarker::kTcUtil)));
}

TEST_F(StatusWindowFaults, FolderMadeReadOnlyWhileRunningKeepsTheLastValues)
{
  if (!MountFolder()) GTEST_SKIP() << "cannot mount a tmpfs on the cache folder; needs root";
  WriteInfo(kReady);
  auto delegate = Launch();
  const StatusWindow* w = delegate->GetWindow();
  delegate->repeateMethod();
  ConsumeOneTimeMarkers();
  SetReadOnly(true);
  delegate->GetWindow()->updateButton->click();
  delegate->repeateMethod();
  ExpectReadyValues(w);
  EXPECT_FALSE(Exists(Marker(StatusMarker::kTcUtil)));
  SetReadOnly(false);
  std::string coverOpen = kReady;
  coverOpen.replace(coverOpen.find("\"00000\""), 7, "\"01000\"");
  WriteInfo(coverOpen);
  delegate->repeateMethod();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kTcUtil)));  // the press is not lost
  EXPECT_EQ(w->statusLabel->text(), qtTrId("st_01000"));
  // Quitting removes the marker even after the folder was read-only for a while.
  delegate->applicationWillTerminate();
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowFaults, FileInPlaceOfTheFolderMakesNoMarkerUntilTheFolderIsBack)
{
  auto delegate = Launch();
  ConsumeOneTimeMarkers();
  // A file in place of the cache folder itself is moved aside by root (these
  // tests run as root); one in place of the system's folder above it stays.
  const std::string caches = root.Path() + "/var/cache";
  std::filesystem::remove_all(caches);
  root.WriteFile("var/cache", "not a folder");
  EXPECT_FALSE(CreateMarker(kSerial, StatusMarker::kTcUtil));
  EXPECT_FALSE(IsMarkerPresent(kSerial, StatusMarker::kTcUtil));
  delegate->GetWindow()->updateButton->click();
  delegate->repeateMethod();
  ExpectOfflineTexts(delegate->GetWindow());
  std::filesystem::remove(caches);
  std::filesystem::create_directory(caches);
  delegate->repeateMethod();
  EXPECT_TRUE(IsMarkerPresent(kSerial, StatusMarker::kUtil));
  EXPECT_TRUE(IsMarkerPresent(kSerial, StatusMarker::kTcUtil));
  EXPECT_FALSE(IsMarkerPresent(kSerial, StatusMarker::kStartUtil));  // made at launch and consumed
}

// The real program, its own timer running: the folder removed under it.
TEST_F(StatusWindowFaults, ProgramSurvivesTheRemovedFolderAndQuitsWithoutAMarker)
{
  std::vector<char*> argv = {const_cast<char*>(STATUSINFO_PROGRAM), const_cast<char*>(kSerial),
                             const_cast<char*>(kPrinterName), nullptr};
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, STATUSINFO_PROGRAM, nullptr, nullptr, argv.data(), environ), 0);
  const auto waitFor = [](const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  };
  EXPECT_TRUE(waitFor([] { return Exists(Marker(StatusMarker::kStartUtil)); }));
  std::filesystem::remove_all(root.Path() + "/var/cache/pellori");
  EXPECT_TRUE(waitFor([] { return Exists(Marker(StatusMarker::kUtil)); }));
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the window ended";
  kill(pid, SIGTERM);
  if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
    ADD_FAILURE() << "the window did not quit on SIGTERM";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

}  // namespace
