#include "TempRoot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

TempRoot::TempRoot(const std::string& base) : dir_("tq58-root", base)
{
  const std::string& path = dir_.GetPath();
  chmod(path.c_str(), 0755);
  std::filesystem::create_directories(path + "/var/cache");
  chmod((path + "/var").c_str(), 0755);
  chmod((path + "/var/cache").c_str(), 0755);
  if (const char* old = std::getenv("TQ58_ROOT")) {
    hadRoot_ = true;
    oldRoot_ = old;
  }
  setenv("TQ58_ROOT", path.c_str(), 1);
}

TempRoot::~TempRoot()
{
  if (hadRoot_) setenv("TQ58_ROOT", oldRoot_.c_str(), 1);
  else unsetenv("TQ58_ROOT");
}

std::string TempRoot::CacheFolder(bool create) const
{
  const std::string folder = Path() + "/var/cache/pellori/TQ-58";
  if (create) {
    std::filesystem::create_directories(folder);
    chmod((Path() + "/var/cache/pellori").c_str(), 0777);
    chmod(folder.c_str(), 0777);
  }
  return folder;
}

std::string TempRoot::WriteFile(const std::string& relativePath, const std::string& text) const
{
  const std::filesystem::path full = std::filesystem::path(Path()) / relativePath;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << text;
  return full.string();
}
