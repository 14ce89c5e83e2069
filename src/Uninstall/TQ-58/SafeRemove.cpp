#include "SafeRemove.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

constexpr int kMaxLinkHops = 40;
// Folders held open at once while a tree is removed, whatever its depth.
constexpr size_t kMaxOpenFolders = 16;
static_assert(kMaxOpenFolders >= 2, "a folder is moved up into the first one held");
// Hidden names tried in turn for one folder moved up; a user may have taken some.
constexpr int kMaxNameTries = 64;

// Closes a descriptor when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(-1); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept
  {
    Reset(other.Release());
    return *this;
  }
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

// The names in the open folder, "." and ".." left out. The names are gathered
// before anything is removed: removing while reading may skip entries.
bool ListFolder(int folderFd, std::vector<std::string>* names)
{
  const int listFd = dup(folderFd);
  if (listFd < 0) return false;
  DIR* dir = fdopendir(listFd);
  if (dir == nullptr) {
    close(listFd);
    return false;
  }
  while (const dirent* entry = readdir(dir)) {
    const std::string_view n = entry->d_name;
    if (n != "." && n != "..") names->emplace_back(n);
  }
  closedir(dir);
  return true;
}

// Removes one folder tree without recursion and without ever following a link
// or going up through "..": the open folders form an explicit stack, each held
// by its descriptor. At most kMaxOpenFolders are open at once, so a tree of any
// depth needs the same few descriptors: a folder met below the deepest one held
// is renamed to a new hidden name in the tree's top folder and emptied from
// there later. An entry that cannot be removed is passed over; the rest goes.
class TreeRemoval {
public:
  TreeRemoval(int parentFd, dev_t device) : parentFd_(parentFd), device_(device) {}

  // Removes the folder name in the parent folder. True when nothing of it stays.
  bool Run(const std::string& name)
  {
    if (!Enter(parentFd_, name)) return false;
    while (!stack_.empty()) {
      if (stack_.back().entries.empty()) {
        Leave();
      } else {
        std::string entry = std::move(stack_.back().entries.back());
        stack_.back().entries.pop_back();
        TakeEntry(entry);
      }
    }
    return ok_;
  }

private:
  struct Folder {
    Fd fd;
    std::string name;                  // its name in the folder it lies in
    std::vector<std::string> entries;  // names still to remove
  };

  // Opens the folder name in dirFd and puts it on the stack. A folder replaced
  // by a link or a file since it was looked at is removed itself.
  bool Enter(int dirFd, const std::string& name)
  {
    Fd sub(OpenFolderAt(dirFd, name.c_str()));
    if (sub.Get() < 0) {
      if (errno == ELOOP || errno == ENOTDIR) return Unlink(dirFd, name, 0);
      return errno == ENOENT;
    }
    // Another file system mounted here is not ours to empty.
    struct stat st;
    if (fstat(sub.Get(), &st) != 0 || st.st_dev != device_) return false;
    Folder folder{std::move(sub), name, {}};
    if (!ListFolder(folder.fd.Get(), &folder.entries)) return false;
    stack_.push_back(std::move(folder));
    return true;
  }

  // The top folder has no more entries to take: it is closed and goes from
  // the folder it lies in.
  void Leave()
  {
    const std::string name = std::move(stack_.back().name);
    stack_.pop_back();
    const int dirFd = stack_.empty() ? parentFd_ : stack_.back().fd.Get();
    if (!Unlink(dirFd, name, AT_REMOVEDIR)) ok_ = false;
  }

  // Removes the entry of the top folder: a link or a file itself; a folder is
  // entered, or moved up when the stack is full.
  void TakeEntry(const std::string& entry)
  {
    const int dirFd = stack_.back().fd.Get();
    struct stat st;
    if (fstatat(dirFd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) ok_ = false;
    } else if (!S_ISDIR(st.st_mode)) {
      if (!Unlink(dirFd, entry, 0)) ok_ = false;
    } else if (st.st_dev != device_) {
      ok_ = false;
    } else if (stack_.size() >= kMaxOpenFolders) {
      if (!MoveToTop(dirFd, entry)) ok_ = false;
    } else if (!Enter(dirFd, entry)) {
      ok_ = false;
    }
  }

  // Renames the entry to a hidden name no entry has in the tree's top folder,
  // which takes it up as one of its own entries.
  bool MoveToTop(int dirFd, const std::string& entry)
  {
    Folder& top = stack_.front();
    for (int tries = 0; tries < kMaxNameTries; ++tries) {
      char hidden[64];
      snprintf(hidden, sizeof hidden, ".tq58-removing-%ld-%u", static_cast<long>(getpid()), nextHidden_++);
      if (renameat2(dirFd, entry.c_str(), top.fd.Get(), hidden, RENAME_NOREPLACE) == 0) {
        top.entries.emplace_back(hidden);
        return true;
      }
      if (errno != EEXIST) return errno == ENOENT;
    }
    return false;
  }

  static bool Unlink(int dirFd, const std::string& name, int flags)
  {
    return unlinkat(dirFd, name.c_str(), flags) == 0 || errno == ENOENT;
  }

  int parentFd_;
  dev_t device_;
  std::vector<Folder> stack_;
  unsigned nextHidden_ = 0;
  bool ok_ = true;
};

// Removes name in dirFd: a link or file itself, a folder with its contents.
bool RemoveEntry(int dirFd, const char* name, dev_t device)
{
  struct stat st;
  if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(dirFd, name, 0) == 0 || errno == ENOENT;
  // Another file system mounted here is not ours to empty.
  if (st.st_dev != device) return false;
  return TreeRemoval(dirFd, device).Run(name);
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
  return RemoveEntry(parent.Get(), leaf.c_str(), folder.st_dev);
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
