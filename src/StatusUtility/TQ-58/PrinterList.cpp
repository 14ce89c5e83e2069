#include "PrinterList.h"

std::string GetSerialTextOfDeviceUri(const std::string& deviceUri)
{
  constexpr std::string_view kSerialKey = "serial=";
  const size_t at = deviceUri.find(kSerialKey);
  return at == std::string::npos ? std::string() : deviceUri.substr(at + kSerialKey.size());
}
