// The status window on Qt's offscreen platform, with real information files in
// a temporary cache folder and a private scheduler for the printer list.
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "AppDelegate.h"
#include "CupsPrinterList.h"
#include "CupsdFixture.h"
#include "Process.h"
#include "StatusMarkers.h"
#include "StatusTables.h"
#include "StatusTranslations.h"
#include "StatusWindow.h"
#include "TempRoot.h"

extern char** environ;

namespace {

constexpr const char* kSerial = "AB%2012";
constexpr const char* kQueue = "TQ58_AB";
constexpr const char* kPrinterName = "Photo Printer";
constexpr const char* kUri = "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%2012";

const char* kMediaLoaded =
    "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"00000\"\nPRINTER_MESSAGE=\"00001\"\n"
    "PRINTER_VERSION=\"1.20\"\nPRINTER_SERIAL_NO=\"AB%2012\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\n"
    "MEDIA_CLASS=\"0003\"\nMEDIA_INITIAL=\"50\"\nMEDIA_REMAIN=\"25\"\n\n#COUNTER_INFORMATION\n"
    "TOTAL_COUNT=\"001234\"\n\n";

bool Exists(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Waits for a condition another process brings about; false after 15 s.
template <typename Condition>
bool WaitUntil(Condition condition)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// Runs the event loop until quit; false when nothing quit it within 15 s.
bool RunUntilQuit()
{
  bool timedOut = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  guard.start(15000);
  QCoreApplication::exec();
  return !timedOut;
}

class StatusWindowTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    // The queue's backend only has to exist for the scheduler to accept the URI.
    ASSERT_TRUE(cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
    Admin({"lpadmin", "-p", kQueue, "-v", kUri, "-D", kPrinterName, "-E"});
    root.CacheFolder();
  }
  void Admin(const std::vector<std::string>& argv)
  {
    const ProcessResult r = cupsd.Run(argv);
    ASSERT_EQ(r.exitCode, 0) << r.err << cupsd.ErrorLog();
  }
  void WriteInfo(const std::string& text) { root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", text); }
  std::string Marker(StatusMarker marker) const { return GetMarkerPath(kSerial, marker); }
  // A delegate as main makes it, launched.
  std::unique_ptr<AppDelegate> Launch(std::vector<std::string> arguments = {"StatusInfoTQ-58", kSerial, kPrinterName})
  {
    auto delegate = std::make_unique<AppDelegate>(std::move(arguments), std::make_unique<CupsPrinterList>());
    delegate->SetRetryPause([] {});
    delegate->applicationWillFinishLaunching();
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  TempRoot root;
  PrivateCupsd cupsd;
};

TEST_F(StatusWindowTest, CaptionsAtLaunchAndLabelsAfterATick)
{
  WriteInfo(kMediaLoaded);
  auto delegate = Launch();
  StatusWindow* w = delegate->GetWindow();
  EXPECT_EQ(w->windowTitle(), "Photo Printer");
  EXPECT_EQ(w->mediaInfoBox->title(), "Media [ --- ]");
  EXPECT_EQ(w->statusBox->title(), "Printer status");
  EXPECT_EQ(w->updateButton->text(), "Update");
  EXPECT_EQ(w->percent50Label->text(), "50%");
  EXPECT_TRUE(w->statusLabel->text().isEmpty());
  EXPECT_TRUE(w->totalCountLabel->text().isEmpty());
  ASSERT_TRUE(delegate->GetTimer()->isActive());
  EXPECT_EQ(delegate->GetTimer()->interval(), 1000);

  delegate->repeateMethod();
  EXPECT_FALSE(delegate->IsTerminateRequested());
  EXPECT_EQ(w->mediaInfoBox->title(), "Media [ Pure Premium ]");
  EXPECT_EQ(w->mediaSizeLabel->text(), "4 in wide (102 mm)");
  EXPECT_EQ(w->mediaCountLabel->text(), "25 / 50  prints");
  EXPECT_EQ(w->progressIndicator->value(), 50);
  EXPECT_EQ(w->statusLabel->text(), "Ready");
  EXPECT_EQ(w->statusMessageLabel->text(), "The printer is ready to print.");
  EXPECT_FALSE(w->statusIconView->pixmap().isNull());
  EXPECT_EQ(w->totalCountLabel->text(), "1234");
  EXPECT_EQ(w->serialNumberLabel->text(), "AB 12");
  EXPECT_EQ(w->firmVersionLabel->text(), "1.20");

  if (const char* shot = std::getenv("TQ58_SCREENSHOT")) {
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromLocal8Bit(shot), "PNG"));
  }
}

TEST_F(StatusWindowTest, FileValuesAreShownAsPlainTextAndOddCountsPinTheBar)
{
  WriteInfo(
      "PRINTER_STATUS=\"01300\"\nPRINTER_SERIAL_NO=\"<b>X</b>\"\nMEDIA_SIZE=\"161\"\n"
      "MEDIA_INITIAL=\"10\"\nMEDIA_REMAIN=\"30\"\n");
  auto delegate = Launch();
  delegate->repeateMethod();
  StatusWindow* w = delegate->GetWindow();
  EXPECT_EQ(w->serialNumberLabel->textFormat(), Qt::PlainText);
  EXPECT_EQ(w->serialNumberLabel->text(), "<b>X</b>");
  EXPECT_EQ(w->statusLabel->text(), "Paper jam");
  EXPECT_EQ(w->mediaCountLabel->text(), "30 / 10  prints");
  EXPECT_EQ(w->progressIndicator->value(), 100);
  // The daemon's offline file: the count is forgotten for as long as it lasts.
  WriteInfo("PRINTER_STATUS=\"99999\"\nPRINTER_MESSAGE=\"00006\"\nMEDIA_INITIAL=\"\"\n");
  delegate->repeateMethod();
  EXPECT_EQ(w->statusLabel->text(), "Offline");
  EXPECT_EQ(w->progressIndicator->value(), 0);
  EXPECT_EQ(w->mediaCountLabel->text(), "--- / ---  prints");
}

TEST_F(StatusWindowTest, MarkersOfOneLaunch)
{
  CreateMarker(kSerial, StatusMarker::kUtil);  // as main does before the loop
  auto delegate = Launch();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kStartUtil)));
  EXPECT_FALSE(Exists(Marker(StatusMarker::kTcUtil)));
  delegate->GetWindow()->updateButton->click();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kTcUtil)));
  delegate->repeateMethod();
  EXPECT_TRUE(Exists(Marker(StatusMarker::kUtil)));
  delegate->applicationWillTerminate();
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
  // The one-time markers are the daemon's to consume.
  EXPECT_TRUE(Exists(Marker(StatusMarker::kStartUtil)));
  EXPECT_TRUE(Exists(Marker(StatusMarker::kTcUtil)));
}

TEST_F(StatusWindowTest, DeletedQueueEndsTheWindowAndItsMarker)
{
  CreateMarker(kSerial, StatusMarker::kUtil);
  auto delegate = Launch();
  delegate->repeateMethod();
  ASSERT_FALSE(delegate->IsTerminateRequested());
  Admin({"lpadmin", "-x", kQueue});
  delegate->repeateMethod();
  EXPECT_TRUE(delegate->IsTerminateRequested());
  EXPECT_TRUE(RunUntilQuit());
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowTest, RenamedPrinterEndsTheWindowAndAnUnreachableSchedulerDoesNot)
{
  auto delegate = Launch();
  cupsd.Stop();
  WriteInfo("PRINTER_STATUS=\"00500\"\n");
  delegate->repeateMethod();
  EXPECT_FALSE(delegate->IsTerminateRequested());
  EXPECT_EQ(delegate->GetWindow()->statusLabel->text(), "Cooling down");

  std::string error;
  ASSERT_TRUE(cupsd.Start(&error)) << error;
  ASSERT_TRUE(cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
  Admin({"lpadmin", "-p", kQueue, "-v", kUri, "-D", "Another name", "-E"});
  delegate->repeateMethod();
  EXPECT_TRUE(delegate->IsTerminateRequested());
  EXPECT_TRUE(RunUntilQuit());
}

TEST_F(StatusWindowTest, WithoutANameTheQueueIsFoundByItsSerial)
{
  auto delegate = Launch({"StatusInfoTQ-58", kSerial});
  EXPECT_EQ(delegate->GetWindow()->windowTitle(), "AB 12");
  delegate->repeateMethod();
  EXPECT_FALSE(delegate->IsTerminateRequested());
  Admin({"lpadmin", "-p", kQueue, "-v", "file:///dev/null?serial=OTHER", "-E"});
  delegate->repeateMethod();
  EXPECT_TRUE(delegate->IsTerminateRequested());
  EXPECT_TRUE(RunUntilQuit());
}

TEST_F(StatusWindowTest, ClosingTheWindowQuits)
{
  CreateMarker(kSerial, StatusMarker::kUtil);
  auto delegate = Launch();
  QTimer::singleShot(0, delegate->GetWindow(), [&] { delegate->GetWindow()->close(); });
  EXPECT_TRUE(RunUntilQuit());
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowTest, PrinterListFromTheScheduler)
{
  Admin({"lpadmin", "-p", "Plain", "-v", "file:///dev/null", "-E"});
  CupsPrinterList list;
  std::vector<PrinterListEntry> printers;
  ASSERT_TRUE(list.GetPrinterList(&printers));
  ASSERT_EQ(printers.size(), 2u);
  for (const PrinterListEntry& p : printers) {
    if (p.id == kQueue) {
      EXPECT_EQ(p.name, kPrinterName);
      EXPECT_EQ(p.deviceUri, kUri);
    } else {
      EXPECT_EQ(p.id, "Plain");
      EXPECT_EQ(p.name, "Plain");
      EXPECT_EQ(p.deviceUri, "file:///dev/null");
    }
  }
  Admin({"lpadmin", "-x", "Plain"});
  Admin({"lpadmin", "-x", kQueue});
  EXPECT_TRUE(list.GetPrinterList(&printers));
  EXPECT_TRUE(printers.empty());
  cupsd.Stop();
  EXPECT_FALSE(list.GetPrinterList(&printers));
}

// The real program, as the launcher starts it.
class StatusWindowProgram : public StatusWindowTest {
protected:
  pid_t Spawn(const std::vector<std::string>& arguments)
  {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(STATUSINFO_PROGRAM));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, STATUSINFO_PROGRAM, nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
  }
  // The exit status, or -1 when the program did not exit normally within 15 s.
  static int WaitExit(pid_t pid)
  {
    int status = 0;
    const bool exited = WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!exited) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(StatusWindowProgram, MarkersFromStartToTheDeletedQueue)
{
  const pid_t pid = Spawn({kSerial, kPrinterName});
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(WaitUntil([&] { return Exists(Marker(StatusMarker::kUtil)); }));
  EXPECT_TRUE(WaitUntil([&] { return Exists(Marker(StatusMarker::kStartUtil)); }));
  Admin({"lpadmin", "-x", kQueue});
  EXPECT_EQ(WaitExit(pid), 0);
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowProgram, TerminationSignalAlsoRemovesTheMarker)
{
  const pid_t pid = Spawn({kSerial, kPrinterName});
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntil([&] { return Exists(Marker(StatusMarker::kStartUtil)); }));
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid), 0);
  EXPECT_FALSE(Exists(Marker(StatusMarker::kUtil)));
}

TEST_F(StatusWindowProgram, UnusableArgumentsAreRefusedWithStatus2)
{
  std::filesystem::remove_all(root.Path() + "/var/cache/pellori");
  const ProcessResult none = RunProcess({STATUSINFO_PROGRAM});
  EXPECT_EQ(none.exitCode, 2);
  EXPECT_NE(none.err.find("usage"), std::string::npos);
  const ProcessResult slash = RunProcess({STATUSINFO_PROGRAM, "../../../x", kPrinterName});
  EXPECT_EQ(slash.exitCode, 2);
  EXPECT_NE(slash.err.find("\"/\""), std::string::npos) << slash.err;
  const ProcessResult tooLong =
      RunProcess({STATUSINFO_PROGRAM, std::string(GetLongestSerialText() + 1, 'S'), kPrinterName});
  EXPECT_EQ(tooLong.exitCode, 2);
  EXPECT_NE(tooLong.err.find("too long"), std::string::npos) << tooLong.err;
  const ProcessResult empty = RunProcess({STATUSINFO_PROGRAM, "", kPrinterName});
  EXPECT_EQ(empty.exitCode, 2);
  EXPECT_FALSE(Exists(root.Path() + "/var/cache/pellori"));
  EXPECT_FALSE(Exists(root.Path() + "/x_UTIL"));
}

TEST(StatusWindowTexts, EveryKeyHasAnEnglishAndAGermanText)
{
  // The English texts are installed by main(); German goes on top for this test.
  for (const std::string& key : GetAllTextKeys()) {
    EXPECT_NE(qtTrId(key.c_str()).toStdString(), key) << "no English text for " << key;
  }
  EXPECT_EQ(qtTrId("st_01200"), "Out of ribbon");
  QTranslator* german = InstallStatusTranslations(QLocale(QLocale::German, QLocale::Germany));
  ASSERT_NE(german, nullptr);
  for (const std::string& key : GetAllTextKeys()) {
    EXPECT_NE(qtTrId(key.c_str()).toStdString(), key) << "no German text for " << key;
  }
  EXPECT_EQ(qtTrId("st_01200"), "Farbband leer");
  QCoreApplication::removeTranslator(german);
  delete german;
  EXPECT_EQ(qtTrId("st_01200"), "Out of ribbon");
  EXPECT_EQ(qtTrId("st_04711"), "st_04711");  // a missing text shows its key
}

}  // namespace

int main(int argc, char** argv)
{
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  if (InstallStatusTranslations(QLocale(QLocale::English)) == nullptr) return 1;
  return RUN_ALL_TESTS();
}
