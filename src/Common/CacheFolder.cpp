#include "CacheFolder.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "FixedPath.h"
#include "ModelProfile.h"

namespace {

constexpr int kOpenFolder = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
constexpr int kAsideTries = 32;
constexpr int kMakeTries = 3;

enum class Found { kUsable, kForeign, kMissing, kFailed };

// The last name of a fixed path: "TQ-58" of ".../Pellori/TQ-58".
const char* LastName(const char* fixedPath)
{
  const char* slash = std::strrchr(fixedPath, '/');
  return slash != nullptr ? slash + 1 : fixedPath;
}

// Opens the folder name in parentFd without following a link. A real
// directory of our effective user gets kCacheFolderMode; one of root's is
// usable as it is (a process that is not root cannot change it). Anything
// else is foreign. *fd holds the descriptor when the folder is usable.
Found OpenFolder(int parentFd, const char* name, int* fd)
{
  *fd = openat(parentFd, name, kOpenFolder);
  if (*fd < 0) {
    if (errno == ENOENT) return Found::kMissing;
    return errno == ENOTDIR || errno == ELOOP ? Found::kForeign : Found::kFailed;
  }
  struct stat st;
  if (fstat(*fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    if (st.st_uid == geteuid()) {
      if ((st.st_mode & 07777) != kCacheFolderMode) fchmod(*fd, kCacheFolderMode);
      return Found::kUsable;
    }
    if (st.st_uid == 0) return Found::kUsable;
  }
  close(*fd);
  *fd = -1;
  return Found::kForeign;
}

// Renames name in parentFd to a new hidden name beside it, never replacing
// an entry that is there. True when it was moved.
bool MoveAside(int parentFd, const char* name)
{
  for (int i = 0; i < kAsideTries; ++i) {
    unsigned long long r = 0;
    if (getrandom(&r, sizeof r, 0) != static_cast<ssize_t>(sizeof r)) {
      r ^= static_cast<unsigned long long>(getpid()) << 20 | static_cast<unsigned>(i);
    }
    char aside[128];
    const int n = std::snprintf(aside, sizeof aside, ".%s.aside.%016llx", name, r);
    if (n < 0 || n >= static_cast<int>(sizeof aside)) return false;
    if (renameat2(parentFd, name, parentFd, aside, RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL) {  // a file system without RENAME_NOREPLACE: the random name is new
      struct stat st;
      if (fstatat(parentFd, aside, &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
          renameat(parentFd, name, parentFd, aside) == 0) {
        return true;
      }
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// The folder name in parentFd, made when missing; -1 when it is not usable.
// Only root moves a foreign thing aside: for anyone else it stays, unused.
int EnsureFolder(int parentFd, const char* name)
{
  for (int i = 0; i < kMakeTries; ++i) {
    int fd = -1;
    switch (OpenFolder(parentFd, name, &fd)) {
    case Found::kUsable: return fd;
    case Found::kFailed: return -1;
    case Found::kForeign:
      if (geteuid() != 0 || !MoveAside(parentFd, name)) return -1;
      break;
    case Found::kMissing: break;
    }
    // Private until OpenFolder gives it its mode on the next round.
    if (mkdirat(parentFd, name, 0700) != 0 && errno != EEXIST) return -1;
  }
  return -1;
}

// The maker's folder, opened, and made first when make is set; -1 when it is
// not usable. Its parent belongs to the system and is opened as it stands.
int OpenMakerFolder(bool make)
{
  const std::string path = TQ58_FixedPath(kTQ58MakerCacheFolder);
  const size_t slash = path.rfind('/');
  const std::string parent = slash == 0 ? std::string("/") : path.substr(0, slash);
  const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return -1;
  const char* name = LastName(kTQ58MakerCacheFolder);
  int fd = -1;
  if (make) fd = EnsureFolder(parentFd, name);
  else if (OpenFolder(parentFd, name, &fd) != Found::kUsable) fd = -1;
  close(parentFd);
  return fd;
}

}  // namespace

void CheckAndMake_CacheFolder()
{
  CheckAndMake_CacheFolder(GetModelCacheFolder());
}

void CheckAndMake_CacheFolder(const char* cacheFolder)
{
  const int makerFd = OpenMakerFolder(true);
  if (makerFd < 0) return;
  close(makerFd);
  CheckAndMake_CacheSubFolder(cacheFolder);
}

void CheckAndMake_CacheSubFolder()
{
  CheckAndMake_CacheSubFolder(GetModelCacheFolder());
}

void CheckAndMake_CacheSubFolder(const char* cacheFolder)
{
  // Only a folder right below the maker's folder is made; any other path is left alone.
  if (cacheFolder == nullptr) return;
  const std::string maker = std::string(kTQ58MakerCacheFolder) + "/";
  const char* name = LastName(cacheFolder);
  if (std::string(cacheFolder, static_cast<size_t>(name - cacheFolder)) != maker) return;
  if (*name == '\0' || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
  const int makerFd = OpenMakerFolder(false);
  if (makerFd < 0) return;
  const int fd = EnsureFolder(makerFd, name);
  if (fd >= 0) close(fd);
  close(makerFd);
}
