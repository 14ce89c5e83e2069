// The removal the helper performs for its one request on a driver installed
// from files (not from the Debian packages), in a fixed order: the shared
// backend (kept while a sibling model's PPD is installed), the ICC profiles,
// the driver files, the daemon stop, the service files and the empty folders,
// then what the Linux installation adds. Every path is an installed-layout
// path mapped through TQ58_FixedPath.
#ifndef TQ58_UNINSTALLSTEPS_H
#define TQ58_UNINSTALLSTEPS_H

#include <functional>

// Runs the whole removal; stopDaemon is called once, after the driver files,
// whatever happened before. True when every step that counts succeeded.
// Blocks on the file system and on stopDaemon.
bool RunUninstall(const std::function<void()>& stopDaemon);

#endif
