#include "SafeRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr size_t kChunk = 65536;

// Reads fd (a regular file) to its end into *out, or up to one byte past
// rule.maxBytes; false when a read fails, or the file holds more than
// rule.maxBytes bytes and rule.keepHead is not set.
bool ReadToEnd(int fd, const SmallFileRule& rule, std::string* out, bool* cut)
{
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (rule.trustedOnly && info.st_uid != 0 && info.st_uid != geteuid()) return false;
  if (info.st_size < 0) return false;
  const auto size = static_cast<unsigned long long>(info.st_size);
  if (size > rule.maxBytes && !rule.keepHead) return false;
  out->reserve(static_cast<size_t>(size < rule.maxBytes ? size : rule.maxBytes));
  // The file may grow while it is read: one byte past the limit is enough to tell.
  char buffer[kChunk];
  while (out->size() <= rule.maxBytes) {
    const size_t room = rule.maxBytes - out->size() + 1;
    const ssize_t n = read(fd, buffer, room < kChunk ? room : kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(buffer, static_cast<size_t>(n));
  }
  if (!rule.keepHead) return false;
  out->resize(rule.maxBytes);
  *cut = true;
  return true;
}

}  // namespace

int TQ58_OpenFolder(const char* path)
{
  if (path == nullptr || path[0] == '\0') return -1;
  return open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool TQ58_ReadSmallFileAt(int folderFd, const char* name, const SmallFileRule& rule, std::string* out, bool* cut)
{
  bool wasCut = false;
  if (cut != nullptr) *cut = false;
  if (out == nullptr) return false;
  out->clear();
  if (name == nullptr || name[0] == '\0') return false;
  // Refused before it is opened: opening a device alone may already act on it.
  struct stat info;
  if (fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) return false;
  // Non-blocking, so that something swapped in meanwhile (a fifo) cannot hold the open.
  const int fd = openat(folderFd, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  const bool read = ReadToEnd(fd, rule, out, &wasCut);
  close(fd);
  if (!read) out->clear();
  if (cut != nullptr) *cut = read && wasCut;
  return read;
}

bool TQ58_GetSmallFileAt(int folderFd, const char* name, size_t maxBytes, std::string* out)
{
  return TQ58_ReadSmallFileAt(folderFd, name, SmallFileRule{maxBytes, false, false}, out, nullptr);
}

bool TQ58_GetTrustedSmallFileAt(int folderFd, const char* name, size_t maxBytes, std::string* out)
{
  return TQ58_ReadSmallFileAt(folderFd, name, SmallFileRule{maxBytes, true, false}, out, nullptr);
}

bool TQ58_GetSmallFile(const char* path, size_t maxBytes, std::string* out)
{
  return TQ58_GetSmallFileAt(AT_FDCWD, path, maxBytes, out);
}
