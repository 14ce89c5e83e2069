#include "GuestProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "Process.h"

GuestProcess::~GuestProcess()
{
  Stop(SIGKILL);
}

bool GuestProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputFile)
{
  if (argv.empty() || pid_ > 0) return false;
  const ChildEnvironment envp(env);
  std::vector<char*> args;
  std::vector<std::string> argCopy = argv;
  for (std::string& a : argCopy) args.push_back(a.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.Get());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

int GuestProcess::Wait(int ms)
{
  if (pid_ <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int GuestProcess::Stop(int sig)
{
  if (pid_ <= 0) return -1;
  kill(pid_, sig);
  const int status = Wait(10000);
  if (status != -2) return status;
  kill(pid_, SIGKILL);
  return Wait(10000);
}
