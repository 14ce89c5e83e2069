#include "CacheFiles.h"

#include <unistd.h>

#include <cstring>

#include "FixedPath.h"
#include "ModelProfile.h"

bool TQ58_IsCacheNamePart(const char* text)
{
  return text != nullptr && std::strchr(text, '/') == nullptr && std::strcmp(text, "..") != 0 &&
         std::strcmp(text, ".") != 0;
}

std::string TQ58_GetJobInfoFileName(const char* jobId)
{
  if (!TQ58_IsCacheNamePart(jobId)) return std::string();
  return std::string("Print_") + jobId + ".log";
}

std::string TQ58_GetPrinterInfoFileName(const char* model, const char* serialText)
{
  if (!TQ58_IsCacheNamePart(model)) return std::string();
  if (serialText == nullptr || serialText[0] == '\0') return std::string(model) + ".log";
  if (!TQ58_IsCacheNamePart(serialText)) return std::string();
  return std::string(model) + "_" + serialText + ".log";
}

std::string TQ58_GetModelInfoFileName(const char* model, const char* serialText)
{
  if (!TQ58_IsCacheNamePart(model) || !TQ58_IsCacheNamePart(serialText)) return std::string();
  return std::string(model) + "_" + serialText + ".log";
}

std::string TQ58_GetCacheFolder()
{
  return TQ58_FixedPath(GetModelCacheFolder());
}

std::string TQ58_GetCacheFilePath(const std::string& name)
{
  return TQ58_GetCacheFolder() + "/" + name;
}

bool TQ58_ReadCacheFile(const std::string& name, const SmallFileRule& rule, std::string* out, bool* cut)
{
  if (cut != nullptr) *cut = false;
  if (out == nullptr) return false;
  out->clear();
  const int folder = TQ58_OpenFolder(TQ58_GetCacheFolder().c_str());
  if (folder < 0) return false;
  const bool read = TQ58_ReadSmallFileAt(folder, name.c_str(), rule, out, cut);
  close(folder);
  return read;
}
