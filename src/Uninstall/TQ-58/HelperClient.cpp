#include "HelperClient.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "FixedPath.h"
#include "HelperMessage.h"
#include "InstallLayout.h"

extern char** environ;

namespace {

constexpr const char* kPkexec = "/usr/bin/pkexec";

// Starts command with its standard input and output on new pipes.
bool Spawn(const std::vector<std::string>& command, pid_t* pid, int* toChild, int* fromChild)
{
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  std::vector<std::string> args = command;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawn(pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(in[0]);
  close(out[1]);
  if (rc != 0) {
    close(in[1]);
    close(out[0]);
    return false;
  }
  *toChild = in[1];
  *fromChild = out[0];
  return true;
}

// Everything the child writes, the first kHelperMessageLimit bytes kept; the
// rest is drained so that the child never blocks on a full pipe.
std::string ReadAll(int fd)
{
  std::string text;
  char buf[1024];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (text.size() < kHelperMessageLimit) text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

int WaitExit(pid_t pid)
{
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::vector<std::string> GetElevationCommand()
{
  const char* program = std::getenv("TQ58_ELEVATE");
  if (program == nullptr || program[0] == '\0') program = kPkexec;
  return {program, TQ58_FixedPath(tq58_layout::kHelper)};
}

int32_t RequestHelperUninstall(const std::vector<std::string>& command)
{
  if (command.empty()) return kRequestRefused;
  pid_t pid = -1;
  int toChild = -1, fromChild = -1;
  if (!Spawn(command, &pid, &toChild, &fromChild)) return kRequestRefused;
  WriteHelperMessage(toChild, MakeUninstallRequest());
  close(toChild);
  const std::string text = ReadAll(fromChild);
  close(fromChild);
  const int status = WaitExit(pid);

  HelperMessage reply;
  const size_t end = text.find("\n\n");
  if (end != std::string::npos && ParseHelperMessage(std::string_view(text).substr(0, end + 2), &reply)) {
    return IsHelperReplyTrue(reply) ? kRequestSucceeded : kRequestFailed;
  }
  // No reply: the elevation program says whether the helper ever ran.
  if (status == kElevationDismissed || status == kElevationNotAuthorized) return kRequestRefused;
  return kRequestFailed;
}

int32_t requestUnInstall()
{
  return RequestHelperUninstall(GetElevationCommand());
}
