#include "AppServer.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "PrinterAppServer.h"

namespace {

// A port nobody listens on now: the kernel's pick for a socket bound to port 0.
int GetFreePort()
{
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof addr;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

http_t* Connect(int port)
{
  return httpConnect2("localhost", port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
}

ipp_t* NewRequest(ipp_op_t op, const std::string& uri)
{
  ipp_t* request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "tester");
  return request;
}

}  // namespace

AppServer::AppServer() : state_(root_.Path() + "/app")
{
  mkdir(state_.c_str(), 0700);
  mkdir((state_ + "/spool").c_str(), 0700);
}

AppServer::~AppServer()
{
  Stop();
}

std::vector<std::string> AppServer::GetEnvironment() const
{
  std::vector<std::string> env = GetPrinterAppEnvironment(state_, root_.Path(), TQ58_LSAN_SUPPRESSIONS);
  env.push_back("TQ58_EMULATED_USB=" + bus_.GetFolder());
  return env;
}

bool AppServer::Start()
{
  port_ = GetFreePort();
  std::vector<std::string> args = GetPrinterAppServerArgv(TQ58_PRINTER_APP_PATH, port_, state_);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const ChildEnvironment env(GetEnvironment());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, (state_ + "/server.out").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.Get());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  return WaitFor(20000, [&] {
    http_t* http = Connect(port_);
    if (http != nullptr) httpClose(http);
    return http != nullptr && access((state_ + "/tq58-printer-app.sock").c_str(), F_OK) == 0;
  });
}

int AppServer::Stop(int sig)
{
  if (pid_ <= 0) return -1;
  const int status = StopChild(pid_, sig, 10000);
  pid_ = -1;
  return status;
}

ProcessResult AppServer::Run(const std::vector<std::string>& args) const
{
  std::vector<std::string> argv = {TQ58_PRINTER_APP_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, "", GetEnvironment());
}

bool AppServer::AddPrinter(const std::string& name) const
{
  const ProcessResult add = Run({"add", "-d", name, "-m", "pellori_tq-58", "-v", "tq58emu://bus/" + name});
  return add.exitCode == 0;
}

std::string AppServer::GetPrinterUri(const std::string& name) const
{
  return "ipp://localhost:" + std::to_string(port_) + "/ipp/print/" + name;
}

std::string AppServer::GetLog() const
{
  std::ifstream in(state_ + "/app.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int AppServer::PrintFile(const std::string& printer, const std::string& file, const std::string& format, int copies,
                         const std::vector<std::pair<std::string, std::string>>& keywords, int dpi) const
{
  http_t* http = Connect(port_);
  if (http == nullptr) return 0;
  ipp_t* request = NewRequest(IPP_OP_PRINT_JOB, GetPrinterUri(printer));
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, format.c_str());
  ippAddInteger(request, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
  for (const auto& [name, value] : keywords)
    ippAddString(request, IPP_TAG_JOB, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
  if (dpi > 0) ippAddResolution(request, IPP_TAG_JOB, "printer-resolution", IPP_RES_PER_INCH, dpi, dpi);
  ipp_t* response = cupsDoFileRequest(http, request, "/ipp/print", file.c_str());
  int jobId = 0;
  if (ippGetStatusCode(response) <= IPP_STATUS_OK_CONFLICTING)
    jobId = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
  ippDelete(response);
  httpClose(http);
  return jobId;
}

ipp_jstate_t AppServer::GetJobState(const std::string& printer, int jobId) const
{
  http_t* http = Connect(port_);
  if (http == nullptr) return IPP_JSTATE_ABORTED;
  ipp_t* request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, GetPrinterUri(printer));
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  ipp_t* response = cupsDoRequest(http, request, "/ipp/print");
  ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
  const auto result = static_cast<ipp_jstate_t>(state != nullptr ? ippGetInteger(state, 0) : IPP_JSTATE_ABORTED);
  ippDelete(response);
  httpClose(http);
  return result;
}

bool AppServer::CancelJob(const std::string& printer, int jobId) const
{
  http_t* http = Connect(port_);
  if (http == nullptr) return false;
  ipp_t* request = NewRequest(IPP_OP_CANCEL_JOB, GetPrinterUri(printer));
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  ipp_t* response = cupsDoRequest(http, request, "/ipp/print");
  const bool ok = ippGetStatusCode(response) == IPP_STATUS_OK;
  ippDelete(response);
  httpClose(http);
  return ok;
}

ipp_jstate_t AppServer::WaitForJobEnd(const std::string& printer, int jobId, int ms) const
{
  ipp_jstate_t state = IPP_JSTATE_PENDING;
  WaitFor(ms, [&] {
    state = GetJobState(printer, jobId);
    return state >= IPP_JSTATE_CANCELED;
  });
  return state;
}

ipp_t* AppServer::GetPrinterAttributes(const std::string& printer) const
{
  http_t* http = Connect(port_);
  if (http == nullptr) return nullptr;
  ipp_t* response =
      cupsDoRequest(http, NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, GetPrinterUri(printer)), "/ipp/print");
  httpClose(http);
  return response;
}

std::string GetAttributeText(ipp_t* response, const char* name)
{
  ipp_attribute_t* attr = response != nullptr ? ippFindAttribute(response, name, IPP_TAG_ZERO) : nullptr;
  if (attr == nullptr) return "";
  char text[4096];
  ippAttributeString(attr, text, sizeof text);
  return text;
}

bool WaitFor(int ms, const std::function<bool()>& done)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}
