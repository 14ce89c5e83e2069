// Fuzzes the job information file reader: the first input line is the key,
// the rest the contents of Print_<job>.log in the cache folder of a temporary
// root, read into buffers of several sizes.
#include <cstring>
#include <string>

#include "Common.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const std::string path = fuzz::GetCacheFolder() + "/Print_77.log";
  const std::string key = fuzz::SplitHead(data, size, 64);
  fuzz::WriteWholeFile(path, data, size);
  for (size_t outSize : {size_t{1}, size_t{2}, size_t{8}, size_t{256}}) {
    char out[257];
    std::memset(out, 'x', sizeof out);
    out[outSize - 1] = '\0';
    fuzz::Require(_GetValuePrInfoFile(key.c_str(), "77", out, outSize) == 0);
    fuzz::Require(std::memchr(out, '\0', outSize) != nullptr);
    fuzz::Require(out[outSize] == 'x');
  }
  char out[16] = {};
  _GetValuePrInfoFile("MEDIA_SIZE", "77", out, sizeof out);
  fuzz::Require(std::memchr(out, '\0', sizeof out) != nullptr);
  return 0;
}
