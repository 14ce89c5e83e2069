#include "SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

SingleInstance::~SingleInstance()
{
  if (fd_ >= 0) close(fd_);
}

std::string SingleInstance::GetLockPath()
{
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/UninstallTQ58.lock";
  return "/tmp/UninstallTQ58-" + std::to_string(getuid()) + ".lock";
}

bool SingleInstance::TryAcquire()
{
  if (fd_ >= 0) return true;
  // Not followed if it is a link, and not inherited by the helper.
  const int fd = open(GetLockPath().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  struct stat st;
  // A file someone else put there in a shared folder is not our lock.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    close(fd);
    return true;
  }
  int rc;
  while ((rc = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {}
  if (rc != 0) {
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return !held;
  }
  fd_ = fd;
  return true;
}
