#include "InstalledSystem.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FixedPath.h"
#include "InstallLayout.h"

namespace fs = std::filesystem;
namespace tl = tq58_layout;

std::string Installed(const std::string& fixedPath)
{
  return TQ58_FixedPath(fixedPath.c_str());
}

bool Exists(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

namespace {

void Write(const std::string& fixedPath, const std::string& text)
{
  const fs::path full = Installed(fixedPath);
  fs::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << text;
}

}  // namespace

void PopulateInstalledSystem(const TempRoot& root, const std::string& helperProgram)
{
  Write(tl::kPpd, "*PPD-Adobe: \"4.3\"\n");
  Write(tl::kBackend, "#!/bin/sh\n");
  for (const char* p : tl::kProfiles) Write(std::string(tl::kProfileFolder) + "/" + p, "icc");
  Write(tl::kFilter, "filter");
  for (const char* icon : tl::kIcons) Write(icon, "png");
  Write(tl::kUtilityExe, "launcher");
  Write(tl::kStatusInfoExe, "window");
  root.CacheFolder();
  Write(std::string(tl::kCacheFolder) + "/TQ-58_AB%2012.log", "#PRINTER_INFORMATION\n");
  Write(std::string(tl::kCacheFolder) + "/AB%2012_UTIL", "");
  Write(tl::kDaemon, "daemon");
  Write(tl::kSystemdUnit, "[Unit]\n");
  Write(tl::kPolkitAction, "<policyconfig/>");
  if (helperProgram.empty()) {
    Write(tl::kHelper, "helper");
  } else {
    fs::create_directories(fs::path(Installed(tl::kHelper)).parent_path());
    fs::copy_file(helperProgram, Installed(tl::kHelper), fs::copy_options::overwrite_existing);
  }
  fs::create_directories(fs::path(Installed(tl::kCupsModelLink)).parent_path());
  fs::remove(Installed(tl::kCupsModelLink));
  fs::create_directory_symlink("../../ppd/pellori", Installed(tl::kCupsModelLink));
  Write(tl::kDesktopEntry, "[Desktop Entry]\n");
  Write(tl::kUninstallDesktopEntry, "[Desktop Entry]\n");
  Write(tl::kUninstaller, "uninstaller");
}

std::vector<std::string> GetDriverLeftovers(const TempRoot& root)
{
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(root.Path())) {
    const std::string path = entry.path().string().substr(root.Path().size());
    std::error_code ec;
    const bool ours = path.find("pellori") != std::string::npos || path.find("tq58") != std::string::npos;
    if (!entry.is_directory(ec) || entry.is_symlink() || ours) left.push_back(path);
  }
  return left;
}

void WriteScript(const std::string& path, const std::string& body)
{
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
}

Unremovable::Unremovable(const std::string& path) : path_(path)
{
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  int flags = 0;
  if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_IMMUTABLE_FL;
    if (ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0) mode_ = Mode::kImmutable;
  }
  if (fd >= 0) close(fd);
  if (mode_ == Mode::kNone && mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) == 0) {
    mode_ = Mode::kBind;
  }
}

Unremovable::~Unremovable()
{
  Undo();
}

void Unremovable::Undo()
{
  if (mode_ == Mode::kImmutable) {
    const int fd = open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) close(fd);
  } else if (mode_ == Mode::kBind) {
    umount2(path_.c_str(), MNT_DETACH);
  }
  mode_ = Mode::kNone;
}
