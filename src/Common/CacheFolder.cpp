#include "CacheFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "FixedPath.h"

namespace {

// Creates folder with mode 0777 unless it exists. The mode is set through a
// descriptor opened without following a symbolic link, so a link planted
// between mkdir and chmod in a world-writable parent is never followed.
// Returns false only when the folder was missing and could not be created.
bool MakeFolder(const char* fixedPath)
{
  const std::string path = TQ58_FixedPath(fixedPath);
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return true;
  if (mkdir(path.c_str(), 0777) != 0) return false;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    fchmod(fd, 0777);
    close(fd);
  }
  return true;
}

}  // namespace

void CheckAndMake_CacheFolder()
{
  if (!MakeFolder(kTQ58MakerCacheFolder)) return;
  CheckAndMake_CacheSubFolder();
}

void CheckAndMake_CacheSubFolder()
{
  MakeFolder(kTQ58CacheFolder);
}
