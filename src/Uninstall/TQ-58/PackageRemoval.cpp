#include "PackageRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FixedPath.h"
#include "InstallLayout.h"
#include "ProcessSpawn.h"

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

// Standard input from /dev/null; standard output joins standard error (or
// /dev/null when the helper has none); no other descriptor of the helper's;
// only the given environment.
SpawnRequest GetRemovalRequest()
{
  SpawnRequest request;
  request.argv = GetPackageRemovalCommand();
  request.environment = GetPackageRemovalEnvironment();
  request.in = SpawnStream::Null();
  if (fcntl(STDERR_FILENO, F_GETFD) >= 0) {
    request.out = SpawnStream::Fd(STDERR_FILENO);
  } else {
    request.out = SpawnStream::Null();
    request.err = SpawnStream::Null();
  }
  request.closeOtherFds = true;
  return request;
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
  const SpawnRequest request = GetRemovalRequest();
  if (request.argv.size() < 3) return false;  // nothing of ours installed after all
  return TQ58_RunProcess(request) == 0;
}
