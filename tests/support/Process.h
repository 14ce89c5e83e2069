// Runs a program without a shell and collects its output, for tests.
#ifndef TQ58_TEST_PROCESS_H
#define TQ58_TEST_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;  // exit status, or -1 when it did not exit normally
  int signal = 0;     // terminating signal, if any
  std::string out;    // standard output
  std::string err;    // standard error
};

// The current environment with extra ("KEY=value") entries, in the form
// posix_spawn takes. An extra entry replaces one of the same name, so that a
// child sees the value the test gave.
class ChildEnvironment {
public:
  explicit ChildEnvironment(const std::vector<std::string>& extra);
  ChildEnvironment(const ChildEnvironment&) = delete;
  ChildEnvironment& operator=(const ChildEnvironment&) = delete;

  // Null-terminated; valid while this object lives.
  char* const* Get() const { return pointers_.data(); }

private:
  std::vector<std::string> entries_;
  std::vector<char*> pointers_;
};

// Runs argv[0] (looked up in PATH) with argv, standard input from input.
// extraEnv entries "KEY=value" are added to the current environment. Blocks until the program exits.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = std::string(),
                         const std::vector<std::string>& extraEnv = {});

// Sends sig to the child pid (nothing when sig is 0), waits up to ms for its
// end and kills it (SIGKILL) when it is still there. Its exit status, or -1
// when it did not exit on its own. Blocks.
int StopChild(pid_t pid, int sig, int ms);

#endif
