#include "JobInfoFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "CacheFiles.h"
#include "CacheFolder.h"
#include "FixedPath.h"
#include "PrinterInfoFile.h"
#include "ReplaceFile.h"
#include "SerialText.h"

namespace {

constexpr size_t kJobIdMax = 10;
constexpr size_t kInfoFileMax = 4096;  // the information file is far shorter; a longer one is read to here
constexpr const char kMediaClassKey[] = "MEDIA_CLASS=\"";

}  // namespace

bool IsJobId(const char* jobId)
{
  if (jobId == nullptr) return false;
  const size_t n = std::strlen(jobId);
  if (n == 0 || n > kJobIdMax) return false;
  return std::strspn(jobId, "0123456789") == n;
}

std::string GetJobInfoFileName(const char* jobId)
{
  return IsJobId(jobId) ? TQ58_GetJobInfoFileName(jobId) : std::string();
}

std::string CleanMediaClass(const char* value)
{
  if (value == nullptr) return std::string();
  const size_t n = std::strlen(value);
  if (n == 0 || n >= kMediaClassSize) return std::string();
  for (size_t i = 0; i < n; ++i) {
    const char c = value[i];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return std::string();
  }
  return value;
}

std::string ReadInfoFileMediaClass(const std::string& serialText)
{
  char path[512];
  if (GetInfoFilePath(serialText.c_str(), path, sizeof path) != 0) return std::string();
  // Only root (the daemon) or this process's user may have written it: anyone may put a file there.
  const char* name = std::strrchr(path, '/');
  std::string text;
  if (name == nullptr || !TQ58_ReadCacheFile(name + 1, SmallFileRule{kInfoFileMax, true, true}, &text, nullptr)) {
    return std::string();
  }
  // The first line that begins with the key; its value ends at the closing quote.
  size_t at = text.find(kMediaClassKey);
  while (at != std::string::npos && at > 0 && text[at - 1] != '\n') at = text.find(kMediaClassKey, at + 1);
  if (at == std::string::npos) return std::string();
  const size_t start = at + std::strlen(kMediaClassKey);
  const size_t end = text.find('"', start);
  if (end == std::string::npos) return std::string();
  return CleanMediaClass(text.substr(start, end - start).c_str());
}

int WriteJobInfoFile(const char* jobId, const std::string& mediaClass)
{
  const std::string name = GetJobInfoFileName(jobId);
  if (name.empty()) return -1;
  CheckAndMake_CacheFolder();
  const std::string text = "MEDIA_CLASS=\"" + CleanMediaClass(mediaClass.c_str()) + "\"\n";
  return TQ58_ReplaceFile(TQ58_GetCacheFolder().c_str(), name.c_str(), text.data(), text.size(), 0644);
}

void RemoveJobInfoFile(const char* jobId)
{
  const std::string name = GetJobInfoFileName(jobId);
  if (name.empty()) return;
  const int dirFd = TQ58_OpenFolder(TQ58_GetCacheFolder().c_str());
  if (dirFd < 0) return;
  unlinkat(dirFd, name.c_str(), 0);
  close(dirFd);
}
