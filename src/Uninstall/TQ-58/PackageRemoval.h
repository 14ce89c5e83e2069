// Removal of a driver installed from the Debian packages: dpkg removes what it
// installed, runs the packages' maintainer scripts (the daemon stop among
// them) and keeps its database true. A driver installed from files is
// removed by the helper's own steps instead. What dpkg knows of our packages
// is asked through dpkg-query, never read from its database.
#ifndef TQ58_PACKAGEREMOVAL_H
#define TQ58_PACKAGEREMOVAL_H

#include <string>
#include <vector>

// What dpkg knows of our packages.
struct PackageStates {
  // False when dpkg is on the system but could not be asked (dpkg-query
  // missing, killed, failing or answering nonsense): then nothing may be
  // removed, as dpkg may own the files.
  bool isKnown = false;
  // Ours in any state but "not-installed" (installed, config-files, half
  // installed or configured, unpacked, awaiting triggers), in layout order.
  std::vector<std::string> present;
};

// dpkg-query's command line: a line "package<TAB>status" for each package of
// ours dpkg knows. Only whole lines of that form, naming one of ours with a
// status word of lower-case letters and '-', are taken from its output.
std::vector<std::string> GetPackageQueryCommand();

// Runs dpkg-query and reads its answer. On a system without dpkg (neither
// dpkg nor dpkg-query is there) the answer is known: nothing is packaged.
// Blocks until dpkg-query exits.
PackageStates GetPackageStates();

// True when the driver's own package is present.
bool IsDriverPackaged(const PackageStates& states);

// dpkg's command line: "--purge" and the present packages.
std::vector<std::string> GetPackageRemovalCommand(const PackageStates& states);

// The environment dpkg and dpkg-query run in: a fixed PATH, no questions, the
// C locale; nothing of the caller's.
std::vector<std::string> GetPackageRemovalEnvironment();

// Runs dpkg with standard input on /dev/null and its output on the caller's
// standard error (standard output carries the helper's reply alone); blocks
// until it exits. True only when dpkg exited with status 0.
bool RemovePackages(const PackageStates& states);

#endif
