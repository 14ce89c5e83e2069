// Shared pieces of the fuzz targets: one temporary root per process (the
// fixed paths are taken below it), its cache folder, and whole-file writes.
#ifndef TQ58_FUZZSUPPORT_H
#define TQ58_FUZZSUPPORT_H

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FixedPath.h"
#include "TempRoot.h"

namespace fuzz {

inline void Require(bool condition)
{
  if (!condition) std::abort();
}

// Creates the root once, sets TQ58_ROOT to it and makes the cache folder;
// the root is removed when the process exits.
inline const std::string& GetTempRoot()
{
  static const TempRoot root;
  static const bool made = [] {
    const std::string cache = TQ58_FixedPath(kTQ58CacheFolder);
    const size_t below = root.Path().size() + 1;
    for (size_t pos = cache.find('/', below); pos != std::string::npos; pos = cache.find('/', pos + 1)) {
      mkdir(cache.substr(0, pos).c_str(), 0755);
    }
    return mkdir(cache.c_str(), 0777) == 0 || errno == EEXIST;
  }();
  Require(made);
  return root.Path();
}

inline std::string GetCacheFolder()
{
  GetTempRoot();
  return TQ58_FixedPath(kTQ58CacheFolder);
}

// Replaces the file at path with the bytes given.
inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size)
{
  FILE* file = std::fopen(path.c_str(), "wb");
  Require(file != nullptr);
  Require(size == 0 || std::fwrite(data, 1, size, file) == size);
  Require(std::fclose(file) == 0);
}

// Splits the input at its first newline: the head (at most maxHead bytes,
// else empty) and the rest.
inline std::string SplitHead(const uint8_t*& data, size_t& size, size_t maxHead)
{
  for (size_t i = 0; i < size && i <= maxHead; ++i) {
    if (data[i] == '\n') {
      std::string head(reinterpret_cast<const char*>(data), i);
      data += i + 1;
      size -= i + 1;
      return head;
    }
  }
  return std::string();
}

}  // namespace fuzz

#endif
