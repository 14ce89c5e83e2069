#include "AppSystem.h"

#include <dirent.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "DriverData.h"
#include "EmulatedDevice.h"
#include "FixedPath.h"
#include "InstallLayout.h"
#include "PrinterPage.h"
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
  if (getuid() == 0) return TQ58_FixedPath(tq58_layout::kPrinterAppStateFolder) + "/" + kAppName + ".state";
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/" + kAppName + ".state";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/tmp") + "/.config/" + kAppName + ".state";
}

// The control socket PAPPL's main loop listens on for the sub-commands: in
// TMPDIR for a user, in SNAP_COMMON or /run for root.
std::string GetControlSocket()
{
  if (getuid() != 0) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/" + kAppName + std::to_string(getuid()) +
           ".sock";
  }
  const char* common = std::getenv("SNAP_COMMON");
  if (common != nullptr && common[0] == '/') return std::string(common) + "/" + kAppName + ".sock";
  return TQ58_FixedPath("/run") + "/" + kAppName + ".sock";
}

bool SaveState(pappl_system_t* system, void* data)
{
  return papplSystemSaveState(system, static_cast<const char*>(data));
}

// Identify-Printer: the printer has neither lamp nor sound, so the message
// goes to the log; PAPPL shows identify-printer-requested on the web page.
void IdentifyPrinter(pappl_printer_t* printer, pappl_identify_actions_t, const char* message)
{
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify: %s", message != nullptr ? message : "");
}

// True when a process named infotq58 runs (its /proc/<pid>/comm). Blocks on
// /proc only.
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
  RemoveStaleControlSocket(system);
  papplSystemSetPrinterDrivers(system, 1, gAppDrivers, GetAutoAddDriver, AddPrinterPage, SetAppDriver, system);
  static std::string stateFile;
  stateFile = GetStateFile(numOptions, options);
  // PAPPL's page footer needs a text: without one its pages fail.
  papplSystemSetFooterHTML(system, "TQ-58 Printer Application");
  papplSystemLoadState(system, stateFile.c_str());
  // The pages are added outside the iteration, which holds the system's lock.
  std::vector<pappl_printer_t*> printers;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t* printer, void* list) {
        static_cast<std::vector<pappl_printer_t*>*>(list)->push_back(printer);
      },
      &printers);
  for (pappl_printer_t* printer : printers) AddPrinterPage(printer);
  papplSystemSetSaveCallback(system, SaveState, stateFile.data());
  if (IsStatusDaemonRunning())
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "The status daemon infotq58 runs: TQ-58 printers are not added automatically; they are served by "
             "their CUPS queues.");
  return system;
}

void RemoveStaleControlSocket(pappl_system_t* system)
{
  const std::string path = GetControlSocket();
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode) || info.st_uid != getuid()) return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const bool refused = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno == ECONNREFUSED;
  close(fd);
  if (refused && unlink(path.c_str()) == 0 && system != nullptr)
    papplLog(system, PAPPL_LOGLEVEL_INFO, "Removed the stale control socket '%s'.", path.c_str());
}

const char* GetAutoAddDriver(const char*, const char* deviceUri, const char* deviceId, void* data)
{
  if (deviceId == nullptr || deviceUri == nullptr) return nullptr;
  // With the emulated bus chosen, it stands for the USB bus: real printers are left alone.
  const char* emulated = std::getenv("TQ58_EMULATED_USB");
  const std::string prefix = std::string(kEmulatedScheme) + "://";
  if (emulated != nullptr && emulated[0] != '\0' && std::strncmp(deviceUri, prefix.c_str(), prefix.size()) != 0)
    return nullptr;
  if (IsStatusDaemonRunning()) {
    // The server's callback gets its system; elsewhere the message goes to standard error.
    if (data != nullptr)
      papplLog(static_cast<pappl_system_t*>(data), PAPPL_LOGLEVEL_WARN,
               "The status daemon infotq58 runs: '%s' is left to its CUPS queue.", deviceUri);
    else std::fprintf(stderr, "The status daemon infotq58 runs: '%s' is left to its CUPS queue.\n", deviceUri);
    return nullptr;
  }
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
  data->delete_cb = ForgetPrinterState;
  return true;
}
