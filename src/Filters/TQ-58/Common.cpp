#include "Common.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "CacheFiles.h"

namespace {

constexpr double kFirmwareVersion = 1.53;

// Reads one line into line[kInfoLineMax + 1]. Lines longer than kInfoLineMax
// characters are consumed to their end and reported as skipped (false with
// *skipped set), so the tail of a long line is never taken for a line start.
bool ReadLine(FILE* file, char* line, bool* skipped)
{
  *skipped = false;
  if (std::fgets(line, kInfoLineMax + 1, file) == nullptr) return false;
  const size_t n = std::strlen(line);
  if (n == kInfoLineMax && line[n - 1] != '\n') {
    int c = std::fgetc(file);
    if (c == EOF || c == '\n') return true;  // exactly 255 characters
    while (c != EOF && c != '\n') c = std::fgetc(file);
    *skipped = true;
  }
  return true;
}

// Removes every occurrence of ch from text.
void RemoveChar(std::string& text, char ch)
{
  std::erase(text, ch);
}

// Value of key in an open key/value file: the text after the key on the first
// line that holds it, without double quotes and line feeds.
bool FindValueInFile(FILE* file, const char* key, std::string* value)
{
  char line[kInfoLineMax + 1];
  bool skipped = false;
  while (ReadLine(file, line, &skipped)) {
    if (skipped) continue;
    const char* hit = std::strstr(line, key);
    if (hit == nullptr) continue;
    *value = hit + std::strlen(key);
    RemoveChar(*value, '"');
    RemoveChar(*value, '\n');
    return true;
  }
  return false;
}

// Reads key from the cache folder's file name into out when it fits. Only a
// regular file of at most kMaxInfoFileBytes bytes, owned by root (the backend
// and the daemon write these files) or by the filter's own user, counts; a
// link, fifo, device or another user's file there counts as no file. Returns 0.
// Does not block.
int ReadValueFromCacheFile(const std::string& name, const char* key, char* out, size_t outSize)
{
  std::string text;
  if (name.empty() || !TQ58_ReadCacheFile(name, SmallFileRule{kMaxInfoFileBytes, true, false}, &text, nullptr) ||
      text.empty()) {
    return 0;
  }
  FILE* file = fmemopen(text.data(), text.size(), "r");
  if (file == nullptr) return 0;
  std::string value;
  if (FindValueInFile(file, key, &value) && out != nullptr && value.size() < outSize) {
    std::memcpy(out, value.c_str(), value.size() + 1);
  }
  std::fclose(file);
  return 0;
}

}  // namespace

const char* _GetCupsValue(const char* key, int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  if (key == nullptr) return nullptr;
  const char* value = cupsGetOption(key, num_options, options);
  if (value == nullptr && std::strcmp(key, "PageSize") == 0) {
    value = cupsGetOption("media", num_options, options);
  }
  if (value == nullptr) value = wrappedPpdFindDefChoice(ppd, key);
  return value;
}

ppdfile_s* wrappedPpdOpenFile(const char* path)
{
  if (path == nullptr) return nullptr;
  auto* ppd = static_cast<ppdfile_s*>(std::calloc(1, sizeof(ppdfile_s)));
  if (ppd == nullptr) return nullptr;
  ppd->file = std::fopen(path, "r");
  return ppd;
}

void wrappedPpdClose(ppdfile_s* ppd)
{
  if (ppd == nullptr) return;
  if (ppd->file != nullptr) std::fclose(ppd->file);
  std::free(ppd);
}

const char* wrappedPpdFindDefChoice(ppdfile_s* ppd, const char* key)
{
  if (ppd == nullptr || key == nullptr || ppd->file == nullptr) return nullptr;
  std::rewind(ppd->file);
  const std::string prefix = std::string("*Default") + key + ": ";
  char line[kInfoLineMax + 1];
  bool skipped = false;
  while (ReadLine(ppd->file, line, &skipped)) {
    if (skipped || std::strncmp(line, prefix.c_str(), prefix.size()) != 0) continue;
    // The first whitespace-delimited word after the prefix; leading blanks are skipped.
    const char* word = line + prefix.size();
    word += std::strspn(word, " \t\r\n\v\f");
    const size_t wordLen = std::strcspn(word, " \t\r\n\v\f");
    if (wordLen == 0) return nullptr;
    const size_t n = wordLen < kPpdValueSize ? wordLen : kPpdValueSize - 1;
    std::memcpy(ppd->value, word, n);
    ppd->value[n] = '\0';
    return ppd->value;
  }
  return nullptr;
}

int _GetFirmwVersion(int /*unused*/, double* version)
{
  if (version == nullptr) return 3;
  *version = kFirmwareVersion;
  return 0;
}

int _GetValuePrInfoFile(const char* key, const char* jobId, char* out, size_t outSize)
{
  if (key == nullptr || key[0] == '\0') return 0;
  return ReadValueFromCacheFile(TQ58_GetJobInfoFileName(jobId), key, out, outSize);
}

int _GetValuePrinterInfoFile(const char* queue, const char* key, const char* model, char* out, size_t outSize)
{
  char uri[256] = {0};
  if (_GetCupsDeviceURI(queue, uri, sizeof uri) != 0) return -1;
  if (uri[0] == '\0' || key == nullptr || key[0] == '\0') return 0;
  const char* serial = std::strstr(uri, "serial=");
  return ReadValueFromCacheFile(TQ58_GetPrinterInfoFileName(model, serial != nullptr ? serial + 7 : nullptr), key, out,
                                outSize);
}

int _GetCupsDeviceURI(const char* queue, char* out, size_t outSize)
{
  if (queue == nullptr) return -1;
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests(&dests);
  int result = -1;
  cups_dest_t* dest = cupsGetDest(queue, nullptr, count, dests);
  if (dest != nullptr && dest->instance == nullptr) {
    const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
    if (uri != nullptr && out != nullptr && outSize >= std::strlen(uri) + 1) {
      std::memcpy(out, uri, std::strlen(uri));
      result = 0;
    }
  }
  cupsFreeDests(count, dests);
  return result;
}
