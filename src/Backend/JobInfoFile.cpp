#include "JobInfoFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "CacheFolder.h"
#include "FixedPath.h"
#include "PrinterInfoFile.h"
#include "ReplaceFile.h"
#include "SerialText.h"

namespace {

constexpr size_t kJobIdMax = 10;
constexpr size_t kInfoFileMax = 4096;  // the information file is far shorter
constexpr const char kMediaClassKey[] = "MEDIA_CLASS=\"";

// The cache folder, opened without following a link; -1 when it cannot be.
int OpenCacheFolder()
{
  return open(TQ58_FixedPath(kTQ58CacheFolder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Up to kInfoFileMax bytes of the plain file name in the folder dirFd, when
// root or this process's user owns it: anyone may put a file in the folder.
std::string ReadTrustedFile(int dirFd, const char* name)
{
  const int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_uid == 0 || st.st_uid == geteuid())) {
    char buffer[kInfoFileMax];
    size_t used = 0;
    ssize_t n = 0;
    while (used < sizeof buffer && (n = read(fd, buffer + used, sizeof buffer - used)) > 0) used += static_cast<size_t>(n);
    text.assign(buffer, used);
  }
  close(fd);
  return text;
}

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
  return IsJobId(jobId) ? "Print_" + std::string(jobId) + ".log" : std::string();
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
  const char* name = std::strrchr(path, '/');
  const int dirFd = OpenCacheFolder();
  if (dirFd < 0 || name == nullptr) {
    if (dirFd >= 0) close(dirFd);
    return std::string();
  }
  const std::string text = ReadTrustedFile(dirFd, name + 1);
  close(dirFd);
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
  return TQ58_ReplaceFile(TQ58_FixedPath(kTQ58CacheFolder).c_str(), name.c_str(), text.data(), text.size(), 0644);
}

void RemoveJobInfoFile(const char* jobId)
{
  const std::string name = GetJobInfoFileName(jobId);
  if (name.empty()) return;
  const int dirFd = OpenCacheFolder();
  if (dirFd < 0) return;
  unlinkat(dirFd, name.c_str(), 0);
  close(dirFd);
}
