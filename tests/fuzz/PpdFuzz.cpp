// Fuzzes the PPD reader: the first input line is an option key, the rest the
// PPD text, written to a file and searched for that key's default and for the
// keys the filter asks for, also through the job option lookup.
#include <cstring>
#include <string>

#include "Common.h"
#include "FuzzSupport.h"

namespace {

void CheckValue(const char* value)
{
  if (value != nullptr) fuzz::Require(std::strlen(value) < kPpdValueSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  static const std::string path = fuzz::GetTempRoot() + "/fuzz.ppd";
  const std::string key = fuzz::SplitHead(data, size, 64);
  fuzz::WriteWholeFile(path, data, size);
  ppdfile_s* ppd = wrappedPpdOpenFile(path.c_str());
  fuzz::Require(ppd != nullptr);
  CheckValue(wrappedPpdFindDefChoice(ppd, key.c_str()));
  for (const char* known : {"PageSize", "Resolution", "FyxBorder", ""}) CheckValue(wrappedPpdFindDefChoice(ppd, known));
  CheckValue(_GetCupsValue("PageSize", 0, nullptr, ppd));
  wrappedPpdClose(ppd);
  return 0;
}
