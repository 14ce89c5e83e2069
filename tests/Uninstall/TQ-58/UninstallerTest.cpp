// The uninstaller's window on Qt's offscreen platform. A stand-in for pkexec
// runs the real helper, copied to its installed path in a temporary root.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
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
#include <sstream>
#include <thread>

#include "AppDelegate.h"
#include "HelperClient.h"
#include "InstallLayout.h"
#include "InstalledSystem.h"
#include "Process.h"
#include "SingleInstance.h"
#include "TempDir.h"
#include "TempRoot.h"
#include "UninstallTranslations.h"
#include "UninstallWindow.h"

extern char** environ;

namespace fs = std::filesystem;
namespace tl = tq58_layout;

namespace {

// Runs the event loop until condition holds; false after 15 s.
template <typename Condition>
bool SpinUntil(Condition condition)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Runs the event loop until something quits it; false when nothing did within 15 s.
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

class UninstallerTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    PopulateInstalledSystem(root, UNINSTALL_HELPER_PROGRAM);
    SetElevation("exec \"$@\"");
  }
  void TearDown() override { unsetenv("TQ58_ELEVATE"); }
  // The pkexec stand-in: records its arguments, then runs body.
  void SetElevation(const std::string& body)
  {
    WriteScript(tools + "/pkexec", "echo \"$@\" >> '" + tools + "/calls'\n" + body);
    setenv("TQ58_ELEVATE", (tools + "/pkexec").c_str(), 1);
  }
  int Calls() const
  {
    std::ifstream in(tools + "/calls");
    int n = 0;
    for (std::string line; std::getline(in, line); ++n) EXPECT_EQ(line, Installed(tl::kHelper));
    return n;
  }
  std::unique_ptr<AppDelegate> Launch()
  {
    auto delegate = std::make_unique<AppDelegate>(&requestUnInstall);
    delegate->SetRequestDelay(0);
    delegate->applicationDidFinishLaunching();
    return delegate;
  }
  static bool Done(const AppDelegate& d) { return d.GetModel().GetState() != UninstallState::kRemoving; }

  TempRoot root;
  TempDir toolsFolder{"tq58-tools"};
  const std::string tools = toolsFolder.GetPath();
};

TEST_F(UninstallerTest, SuccessShowsTheMessageAndQuitOnTheCancelButton)
{
  auto delegate = Launch();
  UninstallWindow* w = delegate->GetWindow();
  EXPECT_TRUE(w->label->text().startsWith("This removes the TQ-58 printer driver"));
  EXPECT_EQ(w->cancelButton->text(), "Cancel");
  EXPECT_TRUE(w->uninstallButton->isEnabled());
  EXPECT_TRUE(w->progress->isHidden());
  EXPECT_TRUE(w->cancelButton->isDefault());

  w->uninstallButton->click();
  EXPECT_EQ(w->label->text(), "Removing the TQ-58 printer driver…");
  EXPECT_FALSE(w->uninstallButton->isEnabled());
  EXPECT_FALSE(w->cancelButton->isEnabled());
  EXPECT_FALSE(w->progress->isHidden());
  ASSERT_TRUE(SpinUntil([&] { return Done(*delegate); }));

  EXPECT_EQ(delegate->GetModel().GetState(), UninstallState::kSucceeded);
  EXPECT_EQ(g_Ret, kRequestSucceeded);
  EXPECT_EQ(w->label->text(), "The TQ-58 printer driver has been removed.");
  EXPECT_EQ(w->cancelButton->text(), "Quit");
  EXPECT_TRUE(w->cancelButton->isEnabled());
  EXPECT_FALSE(w->uninstallButton->isEnabled());
  EXPECT_TRUE(w->progress->isHidden());
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  EXPECT_EQ(Calls(), 1);

  w->cancelButton->click();
  EXPECT_TRUE(delegate->IsTerminateRequested());
  EXPECT_TRUE(RunUntilQuit());
}

TEST_F(UninstallerTest, FailureThenRetry)
{
  Unremovable blocked(Installed(tl::kFilter));
  if (!blocked.IsActive()) GTEST_SKIP() << "no way to make a path unremovable here";
  auto delegate = Launch();
  UninstallWindow* w = delegate->GetWindow();
  w->uninstallButton->click();
  ASSERT_TRUE(SpinUntil([&] { return Done(*delegate); }));
  EXPECT_EQ(delegate->GetModel().GetState(), UninstallState::kFailed);
  EXPECT_EQ(g_Ret, kRequestFailed);
  EXPECT_EQ(w->label->text(), "The TQ-58 printer driver could not be removed completely. You can try again.");
  EXPECT_TRUE(w->uninstallButton->isEnabled());
  EXPECT_TRUE(w->cancelButton->isEnabled());
  EXPECT_EQ(w->cancelButton->text(), "Cancel");
  EXPECT_TRUE(Exists(Installed(tl::kHelper)));

  blocked.Undo();
  w->uninstallButton->click();
  ASSERT_TRUE(SpinUntil([&] { return Done(*delegate); }));
  EXPECT_EQ(delegate->GetModel().GetState(), UninstallState::kSucceeded);
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  EXPECT_EQ(Calls(), 2) << "each attempt asks for authorization again";
}

// A dismissed or refused password dialog, or no elevation program to start:
// the application ends at once, without a message.
TEST_F(UninstallerTest, RefusedAuthorizationEndsTheApplication)
{
  for (const char* body : {"exit 126", "exit 127", ""}) {
    SCOPED_TRACE(body);
    SetElevation(body);
    if (body[0] == '\0') setenv("TQ58_ELEVATE", (tools + "/no-such-pkexec").c_str(), 1);
    auto delegate = Launch();
    delegate->GetWindow()->uninstallButton->click();
    EXPECT_TRUE(RunUntilQuit());
    EXPECT_EQ(delegate->GetModel().GetState(), UninstallState::kEnded);
    EXPECT_EQ(g_Ret, kRequestRefused);
    EXPECT_EQ(delegate->GetWindow()->label->text(), "Removing the TQ-58 printer driver…");
  }
  // A helper that says nothing, or nothing readable, and exits is a failure, not a refusal.
  EXPECT_EQ(RequestHelperUninstall({"/bin/sh", "-c", "exit 0"}), kRequestFailed);
  EXPECT_EQ(RequestHelperUninstall({"/bin/sh", "-c", "echo reply=maybe; echo"}), kRequestFailed);
  EXPECT_TRUE(Exists(Installed(tl::kFilter)));
}

// While the helper works the window keeps drawing and cannot be closed.
TEST_F(UninstallerTest, WindowStaysLiveWhileTheHelperWorks)
{
  SetElevation("while [ ! -e '" + tools + "/go' ]; do sleep 0.01; done\nexec \"$@\"");
  auto delegate = Launch();
  UninstallWindow* w = delegate->GetWindow();
  w->uninstallButton->click();
  ASSERT_TRUE(SpinUntil([&] { return Exists(tools + "/calls"); }));
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(5);
  ASSERT_TRUE(SpinUntil([&] { return ticks >= 3; }));
  EXPECT_TRUE(g_process);
  EXPECT_FALSE(w->close());
  delegate->uninstall();  // no second request while one is in flight
  std::ofstream(tools + "/go") << "";
  ASSERT_TRUE(SpinUntil([&] { return Done(*delegate); }));
  EXPECT_EQ(delegate->GetModel().GetState(), UninstallState::kSucceeded);
  EXPECT_EQ(Calls(), 1);
  EXPECT_TRUE(w->close());
}

TEST_F(UninstallerTest, OneInstancePerUser)
{
  setenv("XDG_RUNTIME_DIR", tools.c_str(), 1);
  {
    SingleInstance first, second;
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_FALSE(second.TryAcquire());
    // The real program ends at once while another instance runs.
    const ProcessResult r = RunProcess({UNINSTALL_PROGRAM}, "", {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(r.exitCode, 0);
  }
  // Alone, it starts and holds the lock until it ends.
  char* argv[] = {const_cast<char*>(UNINSTALL_PROGRAM), nullptr};
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, UNINSTALL_PROGRAM, nullptr, nullptr, argv, environ), 0);
  EXPECT_TRUE(SpinUntil([] { return !SingleInstance().TryAcquire(); }));
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(SingleInstance().TryAcquire());
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(UninstallerTexts, EnglishAndGermanForEveryKey)
{
  for (const char* key : GetUninstallTextKeys()) EXPECT_NE(qtTrId(key), key) << key;
  QTranslator* german = InstallUninstallTranslations(QLocale(QLocale::German, QLocale::Germany));
  ASSERT_NE(german, nullptr);
  for (const char* key : GetUninstallTextKeys()) EXPECT_NE(qtTrId(key), key) << key;
  EXPECT_EQ(qtTrId("EXIT"), "Beenden");
  QCoreApplication::removeTranslator(german);
  delete german;
  EXPECT_EQ(qtTrId("EXIT"), "Quit");
}

// pkexec admits the helper by its installed path, for administrators only.
TEST(UninstallerPolicy, ActionNamesTheInstalledHelper)
{
  std::ostringstream text;
  text << std::ifstream(POLKIT_POLICY_FILE).rdbuf();
  const std::string policy = text.str();
  EXPECT_NE(policy.find("<action id=\"" + std::string(tl::kHelperService) + "\">"), std::string::npos);
  EXPECT_NE(policy.find("key=\"org.freedesktop.policykit.exec.path\">" + std::string(tl::kHelper) + "<"),
            std::string::npos);
  EXPECT_NE(policy.find("<allow_active>auth_admin</allow_active>"), std::string::npos);
  EXPECT_EQ(policy.find(">yes<"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv)
{
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // Nothing here may ever stop the machine's own services.
  setenv("TQ58_SYSTEMCTL", "/bin/true", 1);
  signal(SIGPIPE, SIG_IGN);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  if (InstallUninstallTranslations(QLocale(QLocale::English)) == nullptr) return 1;
  return RUN_ALL_TESTS();
}
