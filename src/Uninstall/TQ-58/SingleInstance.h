// One running uninstaller per user: an exclusive lock (flock) on a file in the
// user's runtime folder, released when the process ends, however it ends.
#ifndef TQ58_SINGLEINSTANCE_H
#define TQ58_SINGLEINSTANCE_H

#include <string>

class SingleInstance {
public:
  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock without waiting. False when another instance holds it; true
  // when taken, and also when no lock file can be had (nothing to check with).
  bool TryAcquire();

  // $XDG_RUNTIME_DIR/UninstallTQ58.lock, or /tmp/UninstallTQ58-<uid>.lock
  // when the runtime folder is not set.
  static std::string GetLockPath();

private:
  int fd_ = -1;
};

#endif
