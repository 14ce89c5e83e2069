#include "StatusLauncher.h"

#include <sys/stat.h>

#include <cstring>

#include "ModelProfile.h"
#include "ProcessSpawn.h"
#include "QueueModel.h"
#include "StatusMarkers.h"

namespace {

constexpr size_t kTextLimit = 255;  // device URIs and names are compared as at most 255 bytes
const char* const kBundleTail = "/StatusInfoTQ-58.app/Contents/MacOS/StatusInfoTQ-58";

// A device URI of the process's model's queues: it holds every word of the
// queue model and "serial=".
bool IsModelUri(const char* uri)
{
  const ModelProfile* profile = GetModelProfile();
  if (profile == nullptr || profile->queueModel == nullptr || std::strstr(uri, "serial=") == nullptr) return false;
  for (const char* word : profile->queueModel->uriWords) {
    if (std::strstr(uri, word) == nullptr) return false;
  }
  return true;
}

bool Exists(const std::string& path)
{
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// The name of the last printer in the list whose device URI is uri; empty when none.
std::string PrinterNameFor(PrinterListSource* printers, const std::string& uri)
{
  std::vector<PrinterListEntry> list;
  std::string name;
  if (printers == nullptr || !printers->GetPrinterList(&list)) return name;
  for (const PrinterListEntry& p : list) {
    if (p.deviceUri.empty() || p.name.empty()) continue;
    if (p.deviceUri.substr(0, kTextLimit) == uri.substr(0, kTextLimit)) name = p.name.substr(0, kTextLimit);
  }
  return name;
}

int FirstQueueCallback(void* userData, unsigned /*flags*/, cups_dest_t* dest)
{
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  if (uri == nullptr || !IsModelUri(uri) || std::strstr(uri, "serial=")[7] == '\0') return 1;
  *static_cast<std::string*>(userData) = dest->name;
  return 0;
}

}  // namespace

int enum_cb(void* userData, unsigned /*flags*/, cups_dest_t* dest)
{
  auto* context = static_cast<LauncherContext*>(userData);
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  if (uri == nullptr || context->queueName != dest->name) return 1;
  if (!IsModelUri(uri)) return 1;
  const char* serial = std::strstr(uri, "serial=") + 7;
  if (*serial == '\0') return 1;
  context->examined = true;
  const std::string serialText = serial;
  // The serial text names files in the cache folder: one the window would refuse starts nothing.
  if (GetSerialTextProblem(serialText) != nullptr) return 0;
  // The window reads a first argument that begins with "-" as an option unless "--" comes first.
  std::vector<std::string> args;
  if (serialText[0] == '-') args.push_back("--");
  args.push_back(serialText);
  const std::string name = PrinterNameFor(context->printers, uri);
  if (!name.empty()) args.push_back(name);
  if (!Exists(GetMarkerPath(serialText, StatusMarker::kUtil)) && context->start)
    context->started = context->start(context->statusInfoPath, args);
  return 0;
}

void LaunchStatusWindow(LauncherContext& context)
{
  if (context.queueName.empty()) return;
  cupsEnumDests(0, 0, nullptr, 0, 0, enum_cb, &context);
}

std::string FindFirstTQ58Queue()
{
  std::string queue;
  cupsEnumDests(0, 0, nullptr, 0, 0, FirstQueueCallback, &queue);
  return queue;
}

std::string GetStatusInfoPath(const std::string& launcherPath)
{
  const size_t slash = launcherPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : launcherPath.substr(0, slash);
  const std::string bundled = folder + "/../Resources" + kBundleTail;
  if (Exists(bundled)) return bundled;
  return folder + "/StatusInfoTQ-58";
}

bool StartDetached(const std::string& path, const std::vector<std::string>& args)
{
  // The window outlives the launcher: in a session of its own and with none of
  // the launcher's standard streams, a caller waiting for the launcher's output
  // to end (a pipe, a terminal that closes) is not held by the window.
  SpawnRequest request;
  request.argv = {path};
  request.argv.insert(request.argv.end(), args.begin(), args.end());
  request.in = SpawnStream::Null();
  request.out = SpawnStream::Null();
  request.err = SpawnStream::Null();
  request.newSession = true;
  pid_t pid = -1;
  return TQ58_StartProcess(request, &pid);
}
