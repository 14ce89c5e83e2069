// The fyxbackend program as CUPS runs it: the device listing without
// arguments, and SIGTERM during a job.
#include <cups/backend.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "BackendJobFixture.h"
#include "DaemonTestUtil.h"
#include "Process.h"

namespace {

class BackendProgramTest : public BackendJobTest {
protected:
  std::vector<std::string> Env() const
  {
    return {"TQ58_ROOT=" + root_.Path(), "TQ58_EMULATED_USB=" + busFolder_,
            "DEVICE_URI=" + std::string(kQueueModelTQ58.uriPrefix) + kSerialText};
  }
};

TEST_F(BackendProgramTest, WithoutArgumentsItListsEveryAttachedPrinter)
{
  EmulatedPrinterState second;
  second.serial = "CD34";
  second.deviceId = "MFG:Pellori;MDL:TQ-58;SN:2;";
  ASSERT_TRUE(emulator_->Plug("p2", second));
  const ProcessResult r = RunProcess({TQ58_BACKEND_PATH}, "", Env());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "direct fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=AB%2012 \"PELLORI SYSTEMS TQ-58\" "
            "\"PELLORI SYSTEMS TQ-58\" \"MFG:Pellori;CMD:TQ58;MDL:TQ-58;CLS:PRINTER;\" \"\"\n"
            "direct fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=CD34 \"PELLORI SYSTEMS TQ-58\" "
            "\"PELLORI SYSTEMS TQ-58\" \"MFG:Pellori;MDL:TQ-58;SN:2;\" \"\"\n");
  emulator_.Stop();  // no printer at all: no line
  const ProcessResult none = RunProcess({TQ58_BACKEND_PATH}, "", Env());
  EXPECT_EQ(none.exitCode, 0);
  EXPECT_EQ(none.out, "");
}

TEST_F(BackendProgramTest, SigtermWhileWaitingForThePrinterEndsTheJobAndRemovesItsFile)
{
  ASSERT_TRUE(emulator_->Unplug("p1"));
  root_.WriteFile("var/cache/pellori/TQ-58/TQ-58_" + kSerialText + ".log", "MEDIA_CLASS=\"0001\"\n");
  const ChildEnvironment envp(Env());
  std::vector<std::string> args = {TQ58_BACKEND_PATH, "22", "user", "title", "1", ""};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string errPath = root_.Path() + "/backend.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.Get()), 0);
  posix_spawn_file_actions_destroy(&actions);
  // The job file comes at once; the offline report once the printer was looked for.
  EXPECT_TRUE(WaitUntil([&] { return ReadText(errPath).find("STATE: +offline-report") != std::string::npos; }, 5000));
  EXPECT_EQ(ReadText(JobFile("22")), "MEDIA_CLASS=\"0001\"\n");
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), CUPS_BACKEND_CANCEL);
  EXPECT_FALSE(std::filesystem::exists(JobFile("22")));
  EXPECT_NE(ReadText(errPath).find("INFO: The job was cancelled; 0 print(s) were made.\n"), std::string::npos)
      << ReadText(errPath);
}

}  // namespace
