// Removal of a driver installed from the Debian packages: dpkg removes what it
// installed, runs the packages' maintainer scripts (the daemon stop among
// them) and keeps its database true. A driver installed from files is
// removed by the helper's own steps instead.
#ifndef TQ58_PACKAGEREMOVAL_H
#define TQ58_PACKAGEREMOVAL_H

#include <string>
#include <vector>

// True when dpkg lists the files of the driver's package. Blocks on the file system.
bool IsDriverPackaged();

// The packages of ours dpkg has installed, in layout order. Blocks on the file system.
std::vector<std::string> GetInstalledPackages();

// dpkg's command line: "--purge" and the installed packages. Blocks on the file system.
std::vector<std::string> GetPackageRemovalCommand();

// The environment dpkg runs in: a fixed PATH, no questions, the C locale;
// nothing of the caller's.
std::vector<std::string> GetPackageRemovalEnvironment();

// Runs dpkg with standard input on /dev/null and its output on the caller's
// standard error (standard output carries the helper's reply alone); blocks
// until it exits. True only when dpkg exited with status 0.
bool RemovePackages();

#endif
