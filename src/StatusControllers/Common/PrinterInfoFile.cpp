#include "PrinterInfoFile.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "CacheFiles.h"
#include "CacheFolder.h"
#include "FixedPath.h"
#include "ModelProfile.h"
#include "PhotoPrinterIF.h"
#include "ReplaceFile.h"

namespace {

// Composes text into a caller's buffer; once a piece does not fit, every
// later piece is refused as well.
class Composer {
public:
  Composer(char* text, size_t size) : text_(text), size_(size) {}
  bool Ok() const { return ok_; }
  size_t Used() const { return used_; }

  void Header(const char* name) { Put(std::snprintf(Room(), Left(), "%s\n", name)); }
  void Empty() { Put(std::snprintf(Room(), Left(), "\n")); }
  void Text(const char* key, const char* value) { Put(std::snprintf(Room(), Left(), "%s=\"%s\"\n", key, value)); }
  void Number(const char* key, int value) { Put(std::snprintf(Room(), Left(), "%s=\"%05d\"\n", key, value)); }
  // A message code; -1 (no message) is written as an empty value.
  void Code(const char* key, int code)
  {
    if (code < 0) Put(std::snprintf(Room(), Left(), "%s=\"\"\n", key));
    else Put(std::snprintf(Room(), Left(), "%s=\"%05d\"\n", key, code));
  }

private:
  char* Room() { return ok_ ? text_ + used_ : scratch_; }
  size_t Left() const { return ok_ ? size_ - used_ : sizeof scratch_; }
  void Put(int n)
  {
    if (!ok_) return;
    if (n < 0 || static_cast<size_t>(n) >= size_ - used_) ok_ = false;
    else used_ += static_cast<size_t>(n);
  }

  char* text_;
  size_t size_;
  size_t used_ = 0;
  bool ok_ = true;
  char scratch_[1];
};

// value from character skip on; empty when value is no longer than skip.
const char* Dropped(const char* value, size_t skip)
{
  return std::strlen(value) > skip ? value + skip : "";
}

}  // namespace

void SetInfoValue(char* field, size_t fieldSize, const char* value)
{
  if (field == nullptr || fieldSize == 0) return;
  const size_t n = value == nullptr ? 0 : strnlen(value, fieldSize - 1);
  if (n > 0) std::memcpy(field, value, n);
  field[n] = '\0';
}

int ComposeInfoFile(const PrinterInfo& info, char* text, size_t size)
{
  if (text == nullptr || size == 0) return -1;
  text[0] = '\0';
  Composer c(text, size);
  c.Header("#PRINTER_INFORMATION");
  c.Text("MODEL", info.model);
  c.Number("PRINTER_STATUS", info.status);
  c.Code("PRINTER_MESSAGE", GetMessage(info.status));
  c.Text("PRINTER_VERSION", info.firmVersion);
  c.Text("PRINTER_SERIAL_NO", info.serialNo);
  c.Empty();
  c.Header("#MEDIA_INFORMATION");
  c.Text("MEDIA_SIZE", Dropped(info.mediaSize, 2));
  c.Text("MEDIA_CLASS", info.mediaClass);
  c.Text("MEDIA_INITIAL", Dropped(info.mediaInitial, 4));
  c.Text("MEDIA_REMAIN", Dropped(info.mediaRemain, 4));
  c.Empty();
  c.Header("#COUNTER_INFORMATION");
  c.Text("TOTAL_COUNT", Dropped(info.totalCount, 2));
  c.Empty();
  if (!c.Ok()) {
    text[0] = '\0';
    return -1;
  }
  return static_cast<int>(c.Used());
}

int GetInfoFilePath(const ModelProfile* profile, const char* serialNo, char* path, size_t size)
{
  if (path == nullptr || size == 0) return -1;
  path[0] = '\0';
  if (!IsUsableModelProfile(profile) || !IsSafeSerialText(serialNo)) return -1;
  const std::string name = TQ58_GetModelInfoFileName(profile->modelTag, serialNo);
  const int n = std::snprintf(path, size, "%s/%s", TQ58_FixedPath(profile->cacheFolder).c_str(), name.c_str());
  if (n < 0 || static_cast<size_t>(n) >= size) {
    path[0] = '\0';
    return -1;
  }
  return 0;
}

int GetInfoFilePath(const char* serialNo, char* path, size_t size)
{
  return GetInfoFilePath(GetModelProfile(), serialNo, path, size);
}

int WriteInfoFile(const ModelProfile* profile, const char* serialNo, const char* text)
{
  if (text == nullptr || !IsUsableModelProfile(profile) || !IsSafeSerialText(serialNo)) return -1;
  const std::string name = TQ58_GetModelInfoFileName(profile->modelTag, serialNo);
  if (name.empty()) return -1;
  CheckAndMake_CacheFolder(profile->cacheFolder);
  const std::string folder = TQ58_FixedPath(profile->cacheFolder);
  return TQ58_ReplaceFile(folder.c_str(), name.c_str(), text, std::strlen(text), 0644);
}

int WriteInfoFile(const char* serialNo, const char* text)
{
  return WriteInfoFile(GetModelProfile(), serialNo, text);
}

void WriteFile(const ModelProfile* profile, const char* serialNo)
{
  if (serialNo == nullptr) return;
  const PrinterInfo offline;
  char text[kInfoTextSize];
  if (ComposeInfoFile(offline, text, sizeof text) < 0) return;
  WriteInfoFile(profile, serialNo, text);
}

void WriteFile(const char* serialNo)
{
  WriteFile(GetModelProfile(), serialNo);
}
