#include "CupsdFixture.h"

#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSystemDataDir = "/usr/share/cups";

void SaveEnv(const char* name, std::string* value, bool* had)
{
  const char* v = std::getenv(name);
  *had = v != nullptr;
  if (v != nullptr) *value = v;
}

void RestoreEnv(const char* name, const std::string& value, bool had)
{
  if (had) setenv(name, value.c_str(), 1);
  else unsetenv(name);
}

bool CanConnect(const std::string& path)
{
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

PrivateCupsd::~PrivateCupsd()
{
  Stop();
  if (envSaved_) {
    RestoreEnv("CUPS_SERVER", oldServer_, hadServer_);
    RestoreEnv("CUPS_SERVERROOT", oldServerRoot_, hadServerRoot_);
    cupsSetServer(nullptr);
    envSaved_ = false;
  }
}

std::string PrivateCupsd::ErrorLog() const
{
  std::ifstream in(root_ + "/log/error_log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool PrivateCupsd::WriteConfig(std::string* error) const
{
  const std::string conf = root_ + "/conf";
  std::ofstream files(conf + "/cups-files.conf");
  files << "ServerRoot " << conf << "\nRequestRoot " << root_ << "/spool\nTempDir " << root_ << "/spool/tmp\nCacheDir "
        << root_ << "/cache\nStateDir " << root_ << "/state\nServerBin " << root_ << "/bin\nDataDir " << DataDir()
        << "\nDocumentRoot /usr/share/cups/doc-root\nErrorLog " << root_ << "/log/error_log\nAccessLog " << root_
        << "/log/access_log\nPageLog " << root_ << "/log/page_log\nPrintcap " << root_
        << "/state/printcap\nUser lp\nGroup lp\nSystemGroup root\nFileDevice Yes\n";
  for (const std::string& env : extraEnv_) files << "SetEnv " << env << "\n";
  std::ofstream main(conf + "/cupsd.conf");
  main << "Listen " << socket_
       << "\nLogLevel debug\nMaxLogSize 0\nBrowsing No\nBrowseLocalProtocols none\nDefaultAuthType None\n"
          "WebInterface No\n"
          "PreserveJobHistory No\n"
          "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
          "<Policy default>\n  JobPrivateAccess all\n  JobPrivateValues none\n  SubscriptionPrivateAccess all\n  "
          "SubscriptionPrivateValues none\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
  for (const std::string& line : extraConfig_) main << line << "\n";
  if (!files || !main) {
    *error = "cannot write the cupsd configuration";
    return false;
  }
  return true;
}

bool PrivateCupsd::PrepareServerBin(std::string* error) const
{
  std::error_code ec;
  const fs::path bin = root_ + "/bin";
  for (const fs::directory_entry& entry : fs::directory_iterator(systemServerBin_, ec)) {
    const std::string name = entry.path().filename();
    if (name == "backend" || name == "filter") {
      // Folders of our own, so that a test can add a program beside the system's.
      fs::create_directories(bin / name);
      for (const fs::directory_entry& prog : fs::directory_iterator(entry.path(), ec)) {
        if (IsDriverProgramName(prog.path().filename())) continue;
        fs::create_symlink(prog.path(), bin / name / prog.path().filename(), ec);
      }
    } else {
      fs::create_symlink(entry.path(), bin / name, ec);
    }
  }
  fs::create_directories(bin / "backend");
  fs::create_directories(bin / "filter");
  if (ec) {
    *error = "cannot prepare ServerBin: " + ec.message();
    return false;
  }
  return true;
}

std::string PrivateCupsd::DataDir() const
{
  return models_.empty() ? std::string(kSystemDataDir) : root_ + "/data";
}

// The system's data folders (mime types, banners, drivers ...) linked into the
// private DataDir, and a model folder of its own with copies of the added PPDs
// (cups-driverd runs as lp and reads them there).
bool PrivateCupsd::PrepareDataDir(std::string* error) const
{
  if (models_.empty()) return true;
  std::error_code ec;
  const fs::path data = DataDir(), model = data / "model";
  fs::create_directories(model, ec);
  for (const fs::directory_entry& entry : fs::directory_iterator(kSystemDataDir, ec)) {
    if (entry.path().filename() != "model") fs::create_symlink(entry.path(), data / entry.path().filename(), ec);
    if (ec) break;
  }
  for (const auto& [name, file] : models_) {
    if (ec) break;
    const fs::path target = model / name;
    fs::create_directories(target.parent_path(), ec);
    for (fs::path dir = target.parent_path(); !ec && dir != data; dir = dir.parent_path())
      fs::permissions(dir, fs::perms(0755), ec);
    if (!ec) fs::copy_file(file, target, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::permissions(target, fs::perms(0644), ec);
  }
  if (!ec) fs::permissions(data, fs::perms(0755), ec);
  if (ec) {
    *error = "cannot prepare DataDir: " + ec.message();
    return false;
  }
  return true;
}

bool PrivateCupsd::WaitReady(std::string* error)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      *error = "cupsd exited early; log:\n" + ErrorLog();
      return false;
    }
    if (CanConnect(socket_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  *error = "cupsd did not open its socket; log:\n" + ErrorLog();
  return false;
}

bool PrivateCupsd::Start(std::string* error)
{
  char pattern[] = "/tmp/tq58-cupsd-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    *error = "mkdtemp failed";
    return false;
  }
  root_ = pattern;
  chmod(root_.c_str(), 0755);  // the scheduler's children run as lp and must reach ServerBin
  for (const char* sub : {"conf", "conf/ppd", "spool", "spool/tmp", "cache", "state", "log", "bin"})
    fs::create_directories(root_ + "/" + sub);
  socket_ = root_ + "/cups.sock";
  if (!WriteConfig(error) || !PrepareServerBin(error) || !PrepareDataDir(error)) return false;

  const std::string c = root_ + "/conf/cupsd.conf", s = root_ + "/conf/cups-files.conf";
  std::vector<std::string> argv = {TQ58_CUPSD_PATH, "-f", "-c", c, "-s", s};
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  extern char** environ;
  if (posix_spawn(&pid_, args[0], nullptr, nullptr, args.data(), environ) != 0) {
    pid_ = -1;
    *error = "cannot start cupsd";
    return false;
  }
  if (!envSaved_) {
    SaveEnv("CUPS_SERVER", &oldServer_, &hadServer_);
    SaveEnv("CUPS_SERVERROOT", &oldServerRoot_, &hadServerRoot_);
    envSaved_ = true;
  }
  setenv("CUPS_SERVER", socket_.c_str(), 1);
  setenv("CUPS_SERVERROOT", (root_ + "/conf").c_str(), 1);  // no system client.conf or lpoptions
  cupsSetServer(socket_.c_str());
  return WaitReady(error);
}

void PrivateCupsd::Stop()
{
  if (pid_ > 0) {
    StopChild(pid_, SIGTERM, 10000);
    pid_ = -1;
  }
  // CUPS_SERVER keeps naming the ended scheduler's socket until the
  // destructor: a stopped scheduler stays unreachable, and no test reaches
  // the system's scheduler instead.
  if (!root_.empty()) {
    std::error_code ec;
    fs::remove_all(root_, ec);
    root_.clear();
  }
}

bool PrivateCupsd::AddBackend(const std::string& scheme, const std::string& script) const
{
  return AddProgram("backend", scheme, script);
}

bool PrivateCupsd::AddProgram(const std::string& kind, const std::string& name, const std::string& script) const
{
  return WriteTestProgram(ServerBin() + "/" + kind + "/" + name, script);
}

bool PrivateCupsd::LinkProgram(const std::string& kind, const std::string& name, const std::string& target) const
{
  const std::string path = ServerBin() + "/" + kind + "/" + name;
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  return symlink(target.c_str(), path.c_str()) == 0;
}

bool WriteTestProgram(const std::string& path, const std::string& script)
{
  if (unlink(path.c_str()) != 0 && errno != ENOENT) return false;
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
  if (fd < 0) return false;
  const bool written = write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
  // The mode survives the umask: the scheduler runs a backend of mode 0755 as lp.
  const bool moded = fchmod(fd, 0755) == 0;
  return close(fd) == 0 && written && moded;
}

bool IsDriverProgramName(const std::string& name)
{
  return name == "fyxbackend" || name == "rastertotq58";
}

ProcessResult PrivateCupsd::Run(const std::vector<std::string>& argv) const
{
  return RunProcess(argv, std::string(), {"CUPS_SERVER=" + socket_, "CUPS_SERVERROOT=" + root_ + "/conf"});
}
