#include "UninstallSteps.h"

#include <cstring>
#include <string>

#include "FixedPath.h"
#include "InstallLayout.h"
#include "SafeRemove.h"

namespace tl = tq58_layout;

namespace {

std::string Mapped(const char* fixedPath)
{
  return TQ58_FixedPath(fixedPath);
}

std::string Mapped(const char* folder, const char* name)
{
  return TQ58_FixedPath((std::string(folder) + '/' + name).c_str());
}

// Another model's driver installs the same backend; while one is there it stays.
bool HasSiblingPpd()
{
  for (const char* ppd : tl::kSiblingPpds) {
    if (IsPathPresent(Mapped(tl::kPpdFolder, ppd))) return true;
  }
  return false;
}

// The backend (unless kept) and the ICC profiles. A backend that stays
// although it should go fails the removal and keeps the profiles.
bool RemoveBackendAndProfiles(bool keepBackend)
{
  if (!keepBackend && !deleteFiles(Mapped(tl::kBackend))) return false;
  bool ok = true;
  for (const char* profile : tl::kProfiles) {
    if (!deleteFiles(Mapped(tl::kProfileFolder, profile))) ok = false;
  }
  return ok;
}

// The driver files in order; the first that stays ends the list. The cache
// folder comes last and holds what any user may put there: what of it cannot
// be removed fails nothing, so no user can keep the driver installed.
bool RemoveDriverFiles(bool ok)
{
  for (const char* path : {tl::kPpd, tl::kFilter, tl::kIcon, tl::kUtilityApp}) {
    if (!ok) return false;
    ok = deleteFiles(Mapped(path));
  }
  if (ok) deleteFiles(Mapped(tl::kCacheFolder));
  return ok;
}

// The daemon, its unit description and the helper's own files, in order;
// nothing more is removed once one stays.
bool RemoveServiceFiles(bool ok)
{
  for (const char* path : {tl::kDaemon, tl::kDaemonLaunchd, tl::kHelperLaunchd, tl::kHelper}) {
    if (!ok) return false;
    ok = deleteFiles(Mapped(path));
  }
  return ok;
}

// Folders that hold nothing more go, sub-folders before their parent; a
// folder with another product's files stays and fails nothing.
void PruneFolders()
{
  for (const char* folder : tl::kPruneFolders) RemoveFolderIfEmpty(Mapped(folder));
}

// What the Linux installation adds: the backend's link and the model link
// (both kept, with the backend, while another model's PPD needs them), the
// PPD folder, the unit, the polkit action, the desktop entry, the uninstaller
// and its folder (the folders only when empty). The first file that stays
// fails the removal.
bool RemoveLinuxExtras(bool keepBackend)
{
  for (const char* path : tl::kLinuxExtras) {
    const bool shared = std::strcmp(path, tl::kCupsBackendLink) == 0 || std::strcmp(path, tl::kCupsModelLink) == 0;
    if (keepBackend && shared) continue;
    if (std::strcmp(path, tl::kUninstallFolder) == 0 || std::strcmp(path, tl::kPpdFolder) == 0) {
      RemoveFolderIfEmpty(Mapped(path));
    } else if (!deleteFiles(Mapped(path))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool RunUninstall(const std::function<void()>& stopDaemon)
{
  const bool keepBackend = HasSiblingPpd();
  bool ok = RemoveBackendAndProfiles(keepBackend);
  ok = RemoveDriverFiles(ok);
  stopDaemon();
  if (!RemoveServiceFiles(ok)) return false;
  deleteFiles(Mapped(tl::kStrayFile));  // whatever it holds, its result does not count
  PruneFolders();
  if (!RemoveLinuxExtras(keepBackend)) return false;
  // The uninstaller's folder went only now: its parent may be empty at last.
  PruneFolders();
  return true;
}
