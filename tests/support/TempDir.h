// A new, empty folder for one test (not a TQ58_ROOT), removed with its
// contents afterwards.
#ifndef TQ58_TEST_TEMPDIR_H
#define TQ58_TEST_TEMPDIR_H

#include <string>

class TempDir {
public:
  // Creates <base>/<prefix>-XXXXXX, mode 0700. Throws std::runtime_error when
  // it cannot be made.
  explicit TempDir(const std::string& prefix = "tq58-tmp", const std::string& base = "/tmp");
  // Removes the folder and everything below it; links inside are removed, never followed.
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& GetPath() const { return path_; }

private:
  std::string path_;
};

#endif
