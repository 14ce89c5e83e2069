// Fuzzes the status window's information file path: the input is the file the
// daemon would write, read the window's way (size limit, UTF-8 check), parsed
// and decoded into every shown text, and also parsed without the read.
#include <string>

#include "FuzzSupport.h"
#include "InfoFileText.h"
#include "StatusInfoModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  fuzz::GetTempRoot();
  const std::string text(reinterpret_cast<const char*>(data), size);
  StatusInfoModel model([](const char* key) { return std::string(key); });
  model.PrepareLaunch("FUZZ01", "");
  fuzz::Require(model.GetFields().m_logFilePath.has_value());
  fuzz::WriteWholeFile(*model.GetFields().m_logFilePath, data, size);
  model.ReadInfoValues([] {});
  model.updateStatus();

  StatusInfoModel direct([](const char* key) { return std::string(key); });
  direct.PrepareLaunch("FUZZ01", "printer");
  direct.ParseInfoText(text);
  direct.updateStatus();
  GetIntValue(text);
  GetLongValue(text);
  IsValidUtf8(text);
  return 0;
}
