#include "TempRoot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

TempRoot::TempRoot(const std::string& base)
{
  std::string pattern = base + "/tq58-root-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  chmod(path_.c_str(), 0755);
  std::filesystem::create_directories(path_ + "/var/cache");
  chmod((path_ + "/var").c_str(), 0755);
  chmod((path_ + "/var/cache").c_str(), 0755);
  if (const char* old = std::getenv("TQ58_ROOT")) {
    hadRoot_ = true;
    oldRoot_ = old;
  }
  setenv("TQ58_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot()
{
  if (hadRoot_) setenv("TQ58_ROOT", oldRoot_.c_str(), 1);
  else unsetenv("TQ58_ROOT");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempRoot::CacheFolder(bool create) const
{
  const std::string folder = path_ + "/var/cache/pellori/TQ-58";
  if (create) {
    std::filesystem::create_directories(folder);
    chmod((path_ + "/var/cache/pellori").c_str(), 0777);
    chmod(folder.c_str(), 0777);
  }
  return folder;
}

std::string TempRoot::WriteFile(const std::string& relativePath, const std::string& text) const
{
  const std::filesystem::path full = std::filesystem::path(path_) / relativePath;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << text;
  return full.string();
}
