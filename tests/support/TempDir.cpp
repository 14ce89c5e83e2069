#include "TempDir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

TempDir::TempDir(const std::string& prefix, const std::string& base)
{
  std::string pattern = base + "/" + prefix + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary folder in " + base);
  path_ = pattern;
}

TempDir::~TempDir()
{
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
