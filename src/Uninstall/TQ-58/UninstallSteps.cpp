#include "UninstallSteps.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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

// The driver files in order: the PPD, the filter, the icons, then the
// launcher and the status window it starts; the first that stays ends the
// list. The cache folder comes last and holds what any user may put there:
// what of it cannot be removed fails nothing, so no user can keep the driver
// installed.
bool RemoveDriverFiles(bool ok)
{
  std::vector<const char*> files = {tl::kPpd, tl::kFilter};
  files.insert(files.end(), std::begin(tl::kIcons), std::end(tl::kIcons));
  files.insert(files.end(), {tl::kUtilityExe, tl::kStatusInfoExe});
  for (const char* path : files) {
    if (!ok) return false;
    ok = deleteFiles(Mapped(path));
  }
  if (ok) deleteFiles(Mapped(tl::kCacheFolder));
  return ok;
}

// The daemon, its unit, the helper's polkit action and the helper itself, in
// order; nothing more is removed once one stays.
bool RemoveServiceFiles(bool ok)
{
  for (const char* path : {tl::kDaemon, tl::kSystemdUnit, tl::kPolkitAction, tl::kHelper}) {
    if (!ok) return false;
    ok = deleteFiles(Mapped(path));
  }
  return ok;
}

// Folders that hold nothing more go; a folder with another product's files
// stays and fails nothing.
void PruneFolders()
{
  for (const char* folder : tl::kPruneFolders) RemoveFolderIfEmpty(Mapped(folder));
}

// What the Linux installation adds: the model link (kept, like the backend,
// while another model's PPD needs it), the desktop entries and the
// uninstaller. The first that stays fails the removal.
bool RemoveLinuxExtras(bool keepBackend)
{
  for (const char* path : tl::kLinuxExtras) {
    if (keepBackend && std::strcmp(path, tl::kCupsModelLink) == 0) continue;
    if (!deleteFiles(Mapped(path))) return false;
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
  PruneFolders();
  return RemoveLinuxExtras(keepBackend);
}
