// A temporary folder set as TQ58_ROOT for one test, removed afterwards.
#ifndef TQ58_TEST_TEMPROOT_H
#define TQ58_TEST_TEMPROOT_H

#include <string>

#include "TempDir.h"

class TempRoot {
public:
  // Creates the folder (mode 0755) in base and var/cache (0755) below it,
  // and sets TQ58_ROOT. A memory file system as base suits tests that make and
  // remove many thousand folders.
  explicit TempRoot(const std::string& base = "/tmp");
  // Restores the former TQ58_ROOT and removes the folder with its contents.
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& Path() const { return dir_.GetPath(); }
  // The cache folder below the root, created (0777) when create is set.
  std::string CacheFolder(bool create = true) const;
  // Writes text to a file below the root (parents created); returns its full path.
  std::string WriteFile(const std::string& relativePath, const std::string& text) const;

private:
  TempDir dir_;
  std::string oldRoot_;
  bool hadRoot_ = false;
};

#endif
