#include "CacheWatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "DeviceRecord.h"
#include "FixedPath.h"

namespace {

constexpr uint32_t kFileEvents = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE;
constexpr uint32_t kFolderGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED;
constexpr int kRewatchMs = 1000;  // while the folder is missing or replaced

struct Watch {
  std::thread thread;
  int inotifyFd = -1;
  int wakeFd = -1;  // an eventfd: StopCacheWatch ends the thread's poll
  int wd = -1;      // the folder's watch
  std::string folder;
  std::atomic<bool> active{false};
  std::atomic<bool> stop{false};
};

Watch gWatch;

// A name worth a pass: not an information file (the daemon's own writes) and
// not a hidden name (the temporary files of a file being replaced).
bool IsWorthAPass(const inotify_event* event)
{
  if (event->len == 0 || event->name[0] == '.') return false;
  const size_t length = strnlen(event->name, event->len);
  return length < 4 || std::strcmp(event->name + length - 4, ".log") != 0;
}

// Reads the events waiting; true when one of them is worth a pass. Sets
// *gone when the folder itself went away. Does not block (non-blocking fd).
bool ReadEvents(int fd, bool* gone)
{
  alignas(inotify_event) char buffer[4096];
  bool worth = false;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) return worth;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & (kFolderGone | IN_Q_OVERFLOW)) != 0) *gone = (event->mask & kFolderGone) != 0 || *gone;
      if ((event->mask & IN_Q_OVERFLOW) != 0 || ((event->mask & kFileEvents) != 0 && IsWorthAPass(event))) worth = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

// Watches the folder again (after it was made anew); a change is counted
// when it worked, since files may have come meanwhile. Does not block.
bool Rewatch(Watch* w)
{
  // A folder moved aside keeps its old watch: dropped, so that only the folder at the path is heard.
  if (w->wd >= 0) inotify_rm_watch(w->inotifyFd, w->wd);
  w->wd = inotify_add_watch(w->inotifyFd, w->folder.c_str(), kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF);
  w->active = w->wd >= 0;
  if (w->active) NotifyCacheChange();
  return w->active;
}

void RunWatch(Watch* w)
{
  while (!w->stop) {
    pollfd fds[2] = {{w->inotifyFd, POLLIN, 0}, {w->wakeFd, POLLIN, 0}};
    const int ready = poll(fds, 2, w->active ? -1 : kRewatchMs);
    if (w->stop) break;
    if (ready < 0) continue;  // EINTR
    bool gone = false;
    if ((fds[0].revents & POLLIN) != 0 && ReadEvents(w->inotifyFd, &gone)) NotifyCacheChange();
    if (gone) w->active = false;  // the kernel drops the watch; a made-again folder needs a new one
    if (!w->active) Rewatch(w);
  }
}

}  // namespace

bool StartCacheWatch(const char* folder)
{
  if (folder == nullptr || gWatch.thread.joinable()) return false;
  gWatch.inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  gWatch.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  gWatch.folder = TQ58_FixedPath(folder);
  gWatch.stop = false;
  if (gWatch.inotifyFd >= 0 && gWatch.wakeFd >= 0) {
    Rewatch(&gWatch);
    try {
      gWatch.thread = std::thread(RunWatch, &gWatch);
      return true;
    } catch (const std::system_error&) {}
  }
  gWatch.active = false;
  StopCacheWatch();
  return false;
}

void StopCacheWatch()
{
  gWatch.stop = true;
  if (gWatch.wakeFd >= 0) {
    const uint64_t one = 1;
    (void)!write(gWatch.wakeFd, &one, sizeof one);
  }
  if (gWatch.thread.joinable()) gWatch.thread.join();
  gWatch.active = false;
  gWatch.wd = -1;
  for (int* fd : {&gWatch.inotifyFd, &gWatch.wakeFd}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

bool IsCacheWatchActive()
{
  return gWatch.active;
}
