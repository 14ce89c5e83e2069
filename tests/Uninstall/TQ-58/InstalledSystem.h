// Test fixtures for the uninstaller and its helper: a temporary root holding
// every file the package installs, stand-in programs, unremovable paths.
#ifndef TQ58_TEST_INSTALLEDSYSTEM_H
#define TQ58_TEST_INSTALLEDSYSTEM_H

#include <string>
#include <vector>

#include "TempRoot.h"

// The helper's request and its two replies, as they stand on the pipe.
inline const std::string kRequest = "Uninstall=Uninstall\n\n";
inline const std::string kTrue = "reply=true\n\n";
inline const std::string kFalse = "reply=false\n\n";

// Mapped path of a layout path below the current TQ58_ROOT.
std::string Installed(const std::string& fixedPath);
// True when something (a dangling link too) is at path.
bool Exists(const std::string& path);

// Writes every installed file of the package below root; helperProgram, when
// given, is copied to the helper's installed path (else a placeholder file).
void PopulateInstalledSystem(const TempRoot& root, const std::string& helperProgram = std::string());
// Every entry below root that is not a folder, and every folder of ours (its
// path names the maker or the driver), as paths below root.
std::vector<std::string> GetDriverLeftovers(const TempRoot& root);

// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);

// Makes a file or folder impossible to remove, even for root: the immutable
// flag where the file system has it, else a bind mount onto itself. Undone
// when the guard goes.
class Unremovable {
public:
  explicit Unremovable(const std::string& path);
  ~Unremovable();
  Unremovable(const Unremovable&) = delete;
  Unremovable& operator=(const Unremovable&) = delete;
  bool IsActive() const { return mode_ != Mode::kNone; }
  void Undo();

private:
  enum class Mode { kNone, kImmutable, kBind };
  std::string path_;
  Mode mode_ = Mode::kNone;
};

#endif
