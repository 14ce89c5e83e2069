#include "FixedPath.h"

#include <cstdlib>
#include <cstring>

std::string TQ58_FixedPath(const char* fixedPath)
{
  if (fixedPath == nullptr) return std::string();
  const char* root = std::getenv("TQ58_ROOT");
  if (root == nullptr || root[0] == '\0') return fixedPath;
  std::string result(root);
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  if (result == "/") return fixedPath;
  if (fixedPath[0] != '/') result.push_back('/');
  result += fixedPath;
  return result;
}

int TQ58_FixedPathBuf(const char* fixedPath, char* out, size_t outSize)
{
  if (out == nullptr || outSize == 0) return -1;
  out[0] = '\0';
  if (fixedPath == nullptr) return -1;
  const std::string path = TQ58_FixedPath(fixedPath);
  if (path.size() + 1 > outSize) return -1;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return 0;
}
