#include "ModelProfile.h"

#include <cstring>

#include "FixedPath.h"

namespace {

const ModelProfile* gProfile = nullptr;

}  // namespace

bool IsUsableModelProfile(const ModelProfile* profile)
{
  if (profile == nullptr || profile->modelTag == nullptr || profile->cacheFolder == nullptr) return false;
  const char* tag = profile->modelTag;
  const size_t length = strnlen(tag, kMaxModelTagLength + 1);
  if (length == 0 || length > kMaxModelTagLength || std::strchr(tag, '/') != nullptr) return false;
  if (std::strcmp(tag, ".") == 0 || std::strcmp(tag, "..") == 0) return false;
  return profile->cacheFolder[0] == '/';
}

void SetModelProfile(const ModelProfile* profile)
{
  gProfile = profile;
}

const ModelProfile* GetModelProfile()
{
  return gProfile;
}

const char* GetModelCacheFolder()
{
  return gProfile != nullptr && gProfile->cacheFolder != nullptr ? gProfile->cacheFolder : kTQ58CacheFolder;
}

const char* GetModelTag()
{
  return gProfile != nullptr && gProfile->modelTag != nullptr ? gProfile->modelTag : "";
}
