// A program of ours run in the background for a test: arguments, extra
// environment, standard output and error into one file.
#ifndef TQ58_TEST_GUESTPROCESS_H
#define TQ58_TEST_GUESTPROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class GuestProcess {
public:
  GuestProcess() = default;
  // Ends a program still running (SIGKILL) and reaps it.
  ~GuestProcess();
  GuestProcess(const GuestProcess&) = delete;
  GuestProcess& operator=(const GuestProcess&) = delete;

  // Starts argv[0] with argv, the current environment and env ("KEY=value"),
  // standard input from /dev/null, its output appended to outputFile. False
  // when it cannot start. Does not block.
  bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env, const std::string& outputFile);
  // Waits up to ms for the end. Returns the exit status, -1 after a signal,
  // -2 when it is still running. Blocks up to ms.
  int Wait(int ms);
  // Sends sig, then waits for the end (SIGKILL after 10 s). Returns as Wait. Blocks.
  int Stop(int sig);
  pid_t GetPid() const { return pid_; }
  bool IsRunning() const { return pid_ > 0; }

private:
  pid_t pid_ = -1;
};

#endif
