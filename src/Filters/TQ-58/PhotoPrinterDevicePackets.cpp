// The CNTRL settings packets of a job.
#include <cstdio>
#include <cstring>

#include "PhotoPrinterDevice.h"

namespace {

bool OptionIs(const char* value, const char* text)
{
  return value != nullptr && std::strcmp(value, text) == 0;
}

// Finish code asked for by "FyxOvercoatFinish"; unknown or absent texts are Glossy.
int OvercoatFinishCode(const char* value)
{
  if (OptionIs(value, "Matte")) return 1;
  if (OptionIs(value, "FineMatte")) return 21;
  if (OptionIs(value, "Luster")) return 22;
  return 0;
}

}  // namespace

int DeviceEntry::SendControl(const char* subcommand, const char* payload, int n)
{
  DeviceCmd cmd;
  cmd.MakeCmd("CNTRL", subcommand, n, payload);
  const int written = SetCommand(cmd.data, static_cast<size_t>(cmd.len));
  cmd.Free();
  return written;
}

int DeviceEntry::SendSysTime()
{
  if (!isSupportSysTime()) return 0;
  const std::time_t now = clock_ ? clock_() : std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  char payload[32];
  const int n = std::snprintf(payload, sizeof payload, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                              local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  if (n != 14) return 0;  // a year past 9999 does not fit the 14 digits
  payload[14] = 0x0D;
  payload[15] = 0x00;
  return SendControl("SET_SYS_TIME", payload, 16);
}

int DeviceEntry::SendCutterMode(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const bool cut =
      OptionIs(_GetCupsValue("Fyx2InchCut", num_options, options, ppd), "Enable") && mediaInfo.cutAllowed != 0;
  char payload[16];
  std::snprintf(payload, sizeof payload, "%08ld", cut ? 120L : 0L);
  return SendControl("CUTTER", payload, 8);
}

int DeviceEntry::SendOvercoatFinish(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  double version = 0;
  _GetFirmwVersion(0, &version);
  const int code = OvercoatFinishCode(_GetCupsValue("FyxOvercoatFinish", num_options, options, ppd));
  if (SetOvercoatFinish(code, version) != 0) return 0;
  char payload[16];
  const int n = std::snprintf(payload, sizeof payload, "%08d", overcoatParam);
  return SendControl("OVERCOAT", payload, n);
}

int DeviceEntry::SendPrintRetry(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const bool retry = !OptionIs(_GetCupsValue("FyxPrintRetry", num_options, options, ppd), "Disable");
  char payload[16];
  std::snprintf(payload, sizeof payload, "%08d", retry ? 1 : 0);
  return SendControl("BUFFCNTRL", payload, 8);
}

int DeviceEntry::SendPrintSpeed(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  const bool fast = OptionIs(_GetCupsValue("FyxPrintSpeed", num_options, options, ppd), "Enable");
  char payload[16];
  std::snprintf(payload, sizeof payload, "%08d", fast ? 20 : 0);
  return SendControl("PRINTSPEED", payload, 8);
}

int DeviceEntry::SendDecurl(int num_options, cups_option_t* options, ppdfile_s* ppd)
{
  if (!isSupportDecurl()) return 0;
  const char* value = _GetCupsValue("FyxDecurl", num_options, options, ppd);
  const int mode = OptionIs(value, "Enable") ? 1 : OptionIs(value, "Disable") ? 0 : 2;
  char payload[16];
  std::snprintf(payload, sizeof payload, "%02d0000000000", mode);
  return SendControl("DECURL", payload, 12);
}
