#include "DaemonStop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "InstallLayout.h"

extern char** environ;

namespace {

constexpr const char* kSystemctl = "/bin/systemctl";

}  // namespace

std::vector<std::string> GetDaemonStopCommand()
{
  const char* program = std::getenv("TQ58_SYSTEMCTL");
  if (program == nullptr || program[0] == '\0') program = kSystemctl;
  return {program, "disable", "--now", tq58_layout::kSystemdUnitName};
}

void StopDaemonService()
{
  std::vector<std::string> command = GetDaemonStopCommand();
  std::vector<char*> argv;
  for (std::string& arg : command) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  // The helper ignores SIGPIPE; the child starts with every signal at its default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) return;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}
