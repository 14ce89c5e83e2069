#include "SafeRemove.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string_view>
#include <vector>

namespace {

constexpr int kMaxDepth = 256;
constexpr int kMaxLinkHops = 40;

// Closes a descriptor when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(-1); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  int Release()
  {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd)
  {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

int OpenFolderAt(int dirFd, const char* name)
{
  return openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Pushes the components of path onto stack so that the first one is on top.
void PushComponents(std::string_view path, std::vector<std::string>* stack)
{
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.emplace_back(part);
    start = end + 1;
  }
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) stack->push_back(*it);
}

// A link in the folder dirFd that only root could have placed.
bool IsTrustedLink(int dirFd, const struct stat& link)
{
  struct stat folder;
  if (fstat(dirFd, &folder) != 0) return false;
  return link.st_uid == 0 && folder.st_uid == 0 && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Follows the link name in cur: its target's components go on top of stack.
int FollowLink(Fd* cur, const char* name, std::vector<std::string>* stack)
{
  char target[PATH_MAX];
  const ssize_t n = readlinkat(cur->Get(), name, target, sizeof target - 1);
  if (n <= 0) return n == 0 ? ENOENT : errno;
  target[n] = '\0';
  if (target[0] == '/') {
    const int root = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) return errno;
    cur->Reset(root);
  }
  PushComponents(target, stack);
  return 0;
}

// Opens the folder holding the last component of the absolute path, walking
// from "/" without following links root did not place. Returns 0 and sets
// *parent and *leaf; ENOENT or ENOTDIR when nothing can be at path; another
// errno when the way cannot be walked safely.
int OpenParent(const std::string& path, Fd* parent, std::string* leaf)
{
  if (path.empty() || path[0] != '/') return EINVAL;
  std::vector<std::string> stack;
  PushComponents(path, &stack);
  Fd cur(open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (cur.Get() < 0) return errno;
  int hops = 0;
  while (stack.size() > 1) {
    const std::string name = stack.back();
    stack.pop_back();
    struct stat st;
    if (fstatat(cur.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (S_ISLNK(st.st_mode)) {
      if (++hops > kMaxLinkHops || !IsTrustedLink(cur.Get(), st)) return ELOOP;
      if (const int rc = FollowLink(&cur, name.c_str(), &stack)) return rc;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    const int next = OpenFolderAt(cur.Get(), name.c_str());
    if (next < 0) return errno;
    cur.Reset(next);
  }
  if (stack.empty() || stack.back() == "..") return EINVAL;
  *leaf = stack.back();
  parent->Reset(cur.Release());
  return 0;
}

bool RemoveEntry(int dirFd, const char* name, dev_t device, int depth);

// Removes every entry of the open folder; stops at the first that stays.
bool RemoveContents(int folderFd, dev_t device, int depth)
{
  std::vector<std::string> names;
  {
    const int listFd = dup(folderFd);
    if (listFd < 0) return false;
    DIR* dir = fdopendir(listFd);
    if (dir == nullptr) {
      close(listFd);
      return false;
    }
    // The names are gathered first: removing while reading may skip entries.
    while (const dirent* entry = readdir(dir)) {
      const std::string_view n = entry->d_name;
      if (n != "." && n != "..") names.emplace_back(n);
    }
    closedir(dir);
  }
  for (const std::string& n : names) {
    if (!RemoveEntry(folderFd, n.c_str(), device, depth)) return false;
  }
  return true;
}

// Removes name in dirFd: a link or file itself, a folder with its contents.
bool RemoveEntry(int dirFd, const char* name, dev_t device, int depth)
{
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(dirFd, name, 0) == 0 || errno == ENOENT;
  // Another file system mounted here is not ours to empty.
  if (depth >= kMaxDepth || st.st_dev != device) return false;
  Fd sub(OpenFolderAt(dirFd, name));
  if (sub.Get() < 0) {
    // Replaced by a link or a file since it was looked at: remove that itself.
    if (errno == ELOOP || errno == ENOTDIR) return unlinkat(dirFd, name, 0) == 0 || errno == ENOENT;
    return errno == ENOENT;
  }
  if (!RemoveContents(sub.Get(), device, depth + 1)) return false;
  return unlinkat(dirFd, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

}  // namespace

bool deleteFiles(const std::string& path)
{
  Fd parent;
  std::string leaf;
  const int rc = OpenParent(path, &parent, &leaf);
  if (rc == ENOENT || rc == ENOTDIR) return true;
  if (rc != 0) return false;
  struct stat folder;
  if (fstat(parent.Get(), &folder) != 0) return false;
  return RemoveEntry(parent.Get(), leaf.c_str(), folder.st_dev, 0);
}

bool IsPathPresent(const std::string& path)
{
  Fd parent;
  std::string leaf;
  const int rc = OpenParent(path, &parent, &leaf);
  if (rc == ENOENT || rc == ENOTDIR) return false;
  if (rc != 0) return true;
  struct stat st;
  return fstatat(parent.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

bool RemoveFolderIfEmpty(const std::string& path)
{
  Fd parent;
  std::string leaf;
  if (OpenParent(path, &parent, &leaf) != 0) return false;
  struct stat st;
  if (fstatat(parent.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode)) return false;
  return unlinkat(parent.Get(), leaf.c_str(), AT_REMOVEDIR) == 0;
}
