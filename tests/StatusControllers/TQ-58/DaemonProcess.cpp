#include "DaemonProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include "Process.h"

DaemonProcess::~DaemonProcess()
{
  Stop(SIGKILL);
}

bool DaemonProcess::Start(const std::string& program, const std::vector<std::string>& env, const std::string& workDir,
                          const std::string& outputFile)
{
  const ChildEnvironment envp(env);
  std::string path = program;
  char* argv[] = {path.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.Get());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

int DaemonProcess::Stop(int sig)
{
  const int status = StopChild(pid_, sig, 10000);
  pid_ = -1;
  return status;
}
