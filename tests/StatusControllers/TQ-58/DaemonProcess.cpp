#include "DaemonProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

DaemonProcess::~DaemonProcess() { Stop(SIGKILL); }

bool DaemonProcess::Start(const std::string& program, const std::vector<std::string>& env,
                          const std::string& workDir, const std::string& outputFile)
{
  std::vector<std::string> envCopy;
  for (char** e = environ; *e != nullptr; ++e) envCopy.emplace_back(*e);
  envCopy.insert(envCopy.end(), env.begin(), env.end());
  std::vector<char*> envp;
  for (std::string& kv : envCopy) envp.push_back(kv.data());
  envp.push_back(nullptr);
  std::string path = program;
  char* argv[] = {path.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

int DaemonProcess::Stop(int sig)
{
  if (pid_ <= 0) return -1;
  kill(pid_, sig);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
