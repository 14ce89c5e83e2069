#include "ReplaceFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kNameTries = 32;

// Creates a new hidden temporary file for name in the folder dirFd and puts
// its name into tmp. Returns the descriptor or -1.
int CreateTemporary(int dirFd, const char* name, char* tmp, size_t tmpSize)
{
  for (int i = 0; i < kNameTries; ++i) {
    unsigned long long r = 0;
    if (getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r))
      r ^= static_cast<unsigned long long>(getpid()) << 20 | static_cast<unsigned>(i);
    if (std::snprintf(tmp, tmpSize, ".%s.%016llx", name, r) >= static_cast<int>(tmpSize)) return -1;
    const int fd = openat(dirFd, tmp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool WriteAll(int fd, const char* data, size_t size)
{
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int TQ58_ReplaceFile(const char* folder, const char* name, const char* data, size_t size, mode_t mode)
{
  if (folder == nullptr || name == nullptr || (data == nullptr && size > 0)) return -1;
  if (name[0] == '\0' || std::strchr(name, '/') != nullptr || std::strcmp(name, ".") == 0 ||
      std::strcmp(name, "..") == 0) {
    return -1;
  }
  const int dirFd = open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirFd < 0) return -1;
  char tmp[512];
  const int fd = CreateTemporary(dirFd, name, tmp, sizeof tmp);
  int result = -1;
  if (fd >= 0) {
    bool ok = WriteAll(fd, data, size) && fchmod(fd, mode) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && renameat(dirFd, tmp, dirFd, name) == 0) result = 0;
    else unlinkat(dirFd, tmp, 0);
  }
  close(dirFd);
  return result;
}
