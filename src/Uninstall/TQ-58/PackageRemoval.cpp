#include "PackageRemoval.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "FixedPath.h"
#include "InstallLayout.h"

namespace tl = tq58_layout;

namespace {

// The package that holds the driver itself; the others come with it.
constexpr const char* kDriverPackage = "printer-driver-tq58";

bool IsPackageInstalled(const char* package)
{
  const std::string list = std::string(tl::kDpkgInfoFolder) + '/' + package + ".list";
  struct stat st;
  return stat(TQ58_FixedPath(list.c_str()).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<char*> ToArgv(std::vector<std::string>& texts)
{
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  return argv;
}

// Standard input from /dev/null; standard output joins standard error (or
// /dev/null when the helper has none); no other descriptor of the helper's.
void SetUpDescriptors(posix_spawn_file_actions_t* actions)
{
  posix_spawn_file_actions_addopen(actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (fcntl(STDERR_FILENO, F_GETFD) >= 0) {
    posix_spawn_file_actions_adddup2(actions, STDERR_FILENO, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
}

// Every signal at its default and none blocked: the helper ignores SIGPIPE.
void SetUpSignals(posix_spawnattr_t* attributes)
{
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(attributes, &all);
  posix_spawnattr_setsigmask(attributes, &none);
  posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
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

bool IsDriverPackaged()
{
  return IsPackageInstalled(kDriverPackage);
}

std::vector<std::string> GetInstalledPackages()
{
  std::vector<std::string> installed;
  for (const char* package : tl::kPackages) {
    if (IsPackageInstalled(package)) installed.emplace_back(package);
  }
  return installed;
}

std::vector<std::string> GetPackageRemovalCommand()
{
  std::vector<std::string> command = {TQ58_FixedPath(tl::kDpkg), "--purge"};
  for (std::string& package : GetInstalledPackages()) command.push_back(std::move(package));
  return command;
}

std::vector<std::string> GetPackageRemovalEnvironment()
{
  return {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "DEBIAN_FRONTEND=noninteractive", "LANG=C"};
}

bool RemovePackages()
{
  std::vector<std::string> command = GetPackageRemovalCommand();
  if (command.size() < 3) return false;  // nothing of ours installed after all
  std::vector<std::string> environment = GetPackageRemovalEnvironment();
  std::vector<char*> argv = ToArgv(command);
  std::vector<char*> envp = ToArgv(environment);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  SetUpDescriptors(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  SetUpSignals(&attributes);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return rc == 0 && WaitExit(pid) == 0;
}
