#include "StatusMarkers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "CacheFiles.h"
#include "CacheFolder.h"
#include "FixedPath.h"
#include "ModelProfile.h"

namespace {

const char* MarkerFormat(StatusMarker marker)
{
  switch (marker) {
  case StatusMarker::kUtil: return "%s/%s_%s_UTIL";
  case StatusMarker::kStartUtil: return "%s/%s_%s_START_UTIL";
  case StatusMarker::kTcUtil: return "%s/%s_%s_TC_UTIL";
  }
  return "%s/%s_%s_UTIL";
}

// Formats a path below folder; the serial text is checked before, so a short
// root keeps it within the buffer, and a long test root gets a bigger one.
std::string FormatPath(const char* format, const std::string& folder, const std::string& serialNo)
{
  const int length = std::snprintf(nullptr, 0, format, folder.c_str(), GetModelTag(), serialNo.c_str());
  if (length < 0) return std::string();
  std::string path(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(path.data(), path.size(), format, folder.c_str(), GetModelTag(), serialNo.c_str());
  path.resize(static_cast<size_t>(length));
  return path;
}

}  // namespace

const char* GetSerialTextProblem(const std::string& serialNo)
{
  if (GetModelTag()[0] == '\0') return "no printer model is set";
  if (serialNo.empty()) return "the serial text is empty";
  if (serialNo.find('/') != std::string::npos) return "the serial text contains \"/\"";
  char path[kMarkerPathSize];
  const int length = std::snprintf(path, sizeof path, MarkerFormat(StatusMarker::kStartUtil), GetModelCacheFolder(),
                                   GetModelTag(), serialNo.c_str());
  if (length < 0 || static_cast<size_t>(length) >= sizeof path) return "the serial text is too long";
  return nullptr;
}

size_t GetLongestSerialText()
{
  const int used =
      std::snprintf(nullptr, 0, MarkerFormat(StatusMarker::kStartUtil), GetModelCacheFolder(), GetModelTag(), "");
  return kMarkerPathSize - 1 - static_cast<size_t>(used);
}

std::string GetMarkerPath(const std::string& serialNo, StatusMarker marker)
{
  return FormatPath(MarkerFormat(marker), TQ58_FixedPath(GetModelCacheFolder()), serialNo);
}

std::string GetInfoFilePath(const std::string& serialNo)
{
  const std::string name = TQ58_GetModelInfoFileName(GetModelTag(), serialNo.c_str());
  return name.empty() ? std::string() : TQ58_FixedPath(GetModelCacheFolder()) + "/" + name;
}

bool CreateMarker(const std::string& serialNo, StatusMarker marker)
{
  if (GetSerialTextProblem(serialNo) != nullptr) return false;
  CheckAndMake_CacheFolder();
  const std::string path = GetMarkerPath(serialNo, marker);
  // The cache folder is writable by everyone: never follow a link planted there.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  fchmod(fd, 0666);
  close(fd);
  return true;
}

bool IsMarkerPresent(const std::string& serialNo, StatusMarker marker)
{
  if (GetSerialTextProblem(serialNo) != nullptr) return false;
  struct stat st;
  return lstat(GetMarkerPath(serialNo, marker).c_str(), &st) == 0;
}

void RemoveMarker(const std::string& serialNo, StatusMarker marker)
{
  if (GetSerialTextProblem(serialNo) != nullptr) return;
  unlink(GetMarkerPath(serialNo, marker).c_str());
}
