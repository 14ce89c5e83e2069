#include "MarkerFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "FixedPath.h"
#include "ModelProfile.h"
#include "SerialText.h"

namespace {

constexpr size_t kMarkerNameSize = 128;

struct Marker {
  const char* format;
  int flag;
  bool consumed;
};

constexpr Marker kMarkers[] = {
    {"%s_%s_PDE_", kMarkerPde, false},
    {"%s_%s_TC_PDE", kMarkerTcPde, true},
    {"%s_%s_UTIL", kMarkerUtil, false},
    {"%s_%s_TC_UTIL", kMarkerTcUtil, true},
    {"%s_%s_START_UTIL", kMarkerStartUtil, true},
};
constexpr int kMarkerCount = sizeof kMarkers / sizeof kMarkers[0];

int ScanMarkers(const ModelProfile* profile, const char* serialNo, bool consume)
{
  if (!IsUsableModelProfile(profile) || !IsSafeSerialText(serialNo)) return 0;
  char names[kMarkerCount][kMarkerNameSize];
  for (int i = 0; i < kMarkerCount; ++i) {
    // A cut name would match, and remove, other files: none is scanned then.
    const int n = std::snprintf(names[i], kMarkerNameSize, kMarkers[i].format, profile->modelTag, serialNo);
    if (n < 0 || static_cast<size_t>(n) >= kMarkerNameSize) return 0;
  }
  // The folder is opened without following a link, so removals stay inside it.
  const std::string folder = TQ58_FixedPath(profile->cacheFolder);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return 0;
  }
  int flags = 0;
  while (const dirent* entry = readdir(dir)) {
    for (int i = 0; i < kMarkerCount; ++i) {
      if (std::strncmp(entry->d_name, names[i], std::strlen(names[i])) != 0) continue;
      flags |= kMarkers[i].flag;
      if (consume && kMarkers[i].consumed) unlinkat(dirfd(dir), names[i], 0);
    }
  }
  closedir(dir);
  return flags;
}

}  // namespace

int pdeFileCheck(const ModelProfile* profile, const char* serialNo)
{
  return ScanMarkers(profile, serialNo, true);
}

int GetMarkerFlags(const ModelProfile* profile, const char* serialNo)
{
  return ScanMarkers(profile, serialNo, false);
}

int pdeFileCheck(const char* serialNo)
{
  return pdeFileCheck(GetModelProfile(), serialNo);
}

int GetMarkerFlags(const char* serialNo)
{
  return GetMarkerFlags(GetModelProfile(), serialNo);
}
