// The real infotq58 program, run as a child process for one test, with its
// standard output and error collected in a file.
#ifndef TQ58_TEST_DAEMONPROCESS_H
#define TQ58_TEST_DAEMONPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class DaemonProcess {
public:
  DaemonProcess() = default;
  ~DaemonProcess();
  DaemonProcess(const DaemonProcess&) = delete;
  DaemonProcess& operator=(const DaemonProcess&) = delete;

  // Starts program with the current environment and env ("KEY=value", each
  // replacing a variable of its name), in folder workDir, its output going to
  // outputFile. False when it cannot start. Does not block.
  bool Start(const std::string& program, const std::vector<std::string>& env, const std::string& workDir,
             const std::string& outputFile);
  // Sends sig and waits for the end (SIGKILL after 10 s). Returns the exit
  // status, or -1 when it did not exit on its own. Blocks.
  int Stop(int sig);
  pid_t Pid() const { return pid_; }

private:
  pid_t pid_ = -1;
};

#endif
