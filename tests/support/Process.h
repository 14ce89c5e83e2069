// Runs a program without a shell and collects its output, for tests.
#ifndef TQ58_TEST_PROCESS_H
#define TQ58_TEST_PROCESS_H

#include <string>
#include <vector>

struct ProcessResult {
  int exitCode = -1;   // exit status, or -1 when it did not exit normally
  int signal = 0;      // terminating signal, if any
  std::string out;     // standard output
  std::string err;     // standard error
};

// Runs argv[0] (looked up in PATH) with argv, standard input from input.
// extraEnv entries "KEY=value" are added to the current environment. Blocks until the program exits.
ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = std::string(),
                         const std::vector<std::string>& extraEnv = {});

#endif
