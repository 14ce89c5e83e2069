#include "AppSystem.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DriverData.h"
#include "FixedPath.h"
#include "PrinterStatus.h"
#include "RasterPrint.h"

namespace {

constexpr char kAppName[] = "tq58-printer-app";
constexpr char kDaemonName[] = "infotq58";

const char* GetOption(const char* name, int numOptions, cups_option_t* options, const char* fallback)
{
  const char* value = cupsGetOption(name, numOptions, options);
  return value != nullptr && value[0] != '\0' ? value : fallback;
}

pappl_loglevel_t GetLogLevel(const char* text)
{
  if (text == nullptr) return PAPPL_LOGLEVEL_INFO;
  if (std::strcmp(text, "debug") == 0) return PAPPL_LOGLEVEL_DEBUG;
  if (std::strcmp(text, "warn") == 0) return PAPPL_LOGLEVEL_WARN;
  if (std::strcmp(text, "error") == 0) return PAPPL_LOGLEVEL_ERROR;
  return PAPPL_LOGLEVEL_INFO;
}

// The state file: the option's, else SNAP_COMMON's, else root's under /var/lib, else the user's.
std::string GetStateFile(int numOptions, cups_option_t* options)
{
  if (const char* file = GetOption("state-file", numOptions, options, nullptr)) return file;
  // PAPPL keeps its control socket in SNAP_COMMON when set: the state goes beside it.
  const char* common = std::getenv("SNAP_COMMON");
  if (common != nullptr && common[0] == '/') return std::string(common) + "/" + kAppName + ".state";
  if (getuid() == 0) return TQ58_FixedPath("/var/lib/tq58-printer-app/tq58-printer-app.state");
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/" + kAppName + ".state";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/tmp") + "/.config/" + kAppName + ".state";
}

bool SaveState(pappl_system_t* system, void* data)
{
  return papplSystemSaveState(system, static_cast<const char*>(data));
}

// True when a process named infotq58 runs (its /proc/<pid>/comm). Blocks on
// /proc only.
// Identify-Printer: the printer has neither lamp nor sound, so the message
// goes to the log; PAPPL shows identify-printer-requested on the web page.
void IdentifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t, const char* message)
{
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: %s", message != nullptr ? message : "");
}

bool IsStatusDaemonRunning()
{
  const std::string proc = TQ58_FixedPath("/proc");
  DIR* dir = opendir(proc.c_str());
  if (dir == nullptr) return false;
  bool found = false;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    char comm[64] = {0};
    FILE* file = std::fopen((proc + "/" + entry->d_name + "/comm").c_str(), "re");
    if (file == nullptr) continue;
    const bool read = std::fgets(comm, sizeof comm, file) != nullptr;
    std::fclose(file);
    if (read && std::strncmp(comm, kDaemonName, sizeof kDaemonName - 1) == 0 &&
        (comm[sizeof kDaemonName - 1] == '\n' || comm[sizeof kDaemonName - 1] == '\0')) {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

pappl_pr_driver_t gAppDrivers[1] = {{kTQ58DriverName, kTQ58DriverDescription, "MFG:Pellori;MDL:TQ-58;", nullptr}};

pappl_system_t* MakeAppSystem(int numOptions, cups_option_t* options, void*)
{
  const int port = std::atoi(GetOption("server-port", numOptions, options, "0"));
  const pappl_soptions_t soptions =
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG | PAPPL_SOPTIONS_NO_TLS;
  pappl_system_t* system = papplSystemCreate(
      soptions, GetOption("server-name", numOptions, options, "TQ-58 Printer Application"), port, "_print,_universal",
      GetOption("spool-directory", numOptions, options, nullptr), GetOption("log-file", numOptions, options, "-"),
      GetLogLevel(cupsGetOption("log-level", numOptions, options)), nullptr, false);
  if (system == nullptr) return nullptr;
  papplSystemAddListeners(system, GetOption("listen-hostname", numOptions, options, nullptr));
  papplSystemSetPrinterDrivers(system, 1, gAppDrivers, GetAutoAddDriver, nullptr, SetAppDriver, nullptr);
  static std::string stateFile;
  stateFile = GetStateFile(numOptions, options);
  papplSystemLoadState(system, stateFile.c_str());
  papplSystemSetSaveCallback(system, SaveState, stateFile.data());
  papplSystemSetFooterHTML(system, "TQ-58 Printer Application");
  if (IsStatusDaemonRunning())
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "The status daemon infotq58 runs: TQ-58 printers are not added automatically; they are served by "
             "their CUPS queues.");
  return system;
}

const char* GetAutoAddDriver(const char*, const char*, const char* deviceId, void*)
{
  if (deviceId == nullptr || IsStatusDaemonRunning()) return nullptr;
  cups_option_t* pairs = nullptr;
  const int n = papplDeviceParseID(deviceId, &pairs);
  const char* model = cupsGetOption("MODEL", n, pairs);
  if (model == nullptr) model = cupsGetOption("MDL", n, pairs);
  const bool match = model != nullptr && std::strcmp(model, "TQ-58") == 0;
  cupsFreeOptions(n, pairs);
  return match ? kTQ58DriverName : nullptr;
}

bool SetAppDriver(pappl_system_t*, const char* driverName, const char*, const char*, pappl_pr_driver_data_t* data,
                  ipp_t** attrs, void*)
{
  if (driverName == nullptr || std::strcmp(driverName, kTQ58DriverName) != 0) return false;
  SetDriverData(data, attrs);
  data->rstartjob_cb = StartRasterJob;
  data->rstartpage_cb = StartRasterPage;
  data->rwriteline_cb = WriteRasterLine;
  data->rendpage_cb = EndRasterPage;
  data->rendjob_cb = EndRasterJob;
  data->status_cb = UpdatePrinterStatus;
  data->identify_cb = IdentifyPrinter;
  return true;
}
