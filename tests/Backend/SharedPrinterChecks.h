// Checks of one printer shared by the status daemon and the backend, with the
// real programs: the backend run as CUPS runs it with its input on a pipe of
// the test, a watch that reads the printer's information file all along, and
// the backend's logged waits for the printer. They need only the programs'
// paths and environment, so that they serve on any bus.
#ifndef TQ58_TEST_SHAREDPRINTERCHECKS_H
#define TQ58_TEST_SHAREDPRINTERCHECKS_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DaemonTestUtil.h"
#include "Process.h"

// The backend program for one job, its standard input a pipe the test writes.
class BackendProcess {
public:
  BackendProcess() = default;
  ~BackendProcess()
  {
    CloseInput();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  BackendProcess(const BackendProcess&) = delete;
  BackendProcess& operator=(const BackendProcess&) = delete;

  // Starts program with the job's arguments, the current environment and
  // env, its standard error into errorFile. False when it cannot start. Does not block.
  bool Start(const std::string& program, const std::string& jobId, const std::vector<std::string>& env,
             const std::string& errorFile)
  {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    const ChildEnvironment envp(env);
    std::vector<std::string> args = {program, jobId, "user", "title", "1", ""};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.Get());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    input_ = fds[1];
    if (rc != 0) pid_ = -1;
    return rc == 0;
  }
  // Writes bytes to the backend's input. False when it stopped reading. Blocks.
  bool Feed(const std::string& bytes) const
  {
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(input_, bytes.data() + at, bytes.size() - at);
      if (n <= 0) return false;
      at += static_cast<size_t>(n);
    }
    return true;
  }
  void CloseInput()
  {
    if (input_ >= 0) close(input_);
    input_ = -1;
  }
  // Ends the input and waits up to ms for the backend's exit. Its exit
  // status, or -1 when it did not exit in time (it is killed then). Blocks.
  int Finish(int ms)
  {
    CloseInput();
    const int status = StopChild(pid_, 0, ms);
    pid_ = -1;
    return status;
  }

private:
  pid_t pid_ = -1;
  int input_ = -1;
};

// Reads a printer information file every few milliseconds on a thread of its
// own, from construction to Stop, and keeps what it saw.
class InfoFileWatch {
public:
  explicit InfoFileWatch(std::string path) : path_(std::move(path)), thread_([this] { Run(); }) {}
  ~InfoFileWatch() { Stop(); }
  void Stop()
  {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Every PRINTER_STATUS and TOTAL_COUNT value read ("(missing)" for a file that was not there).
  std::set<std::string> GetStatuses() const { return Get(statuses_); }
  std::set<std::string> GetCounts() const { return Get(counts_); }
  int GetReads() const { return reads_; }

private:
  std::set<std::string> Get(const std::set<std::string>& values) const
  {
    std::lock_guard<std::mutex> lock(m_);
    return values;
  }
  void Run()
  {
    while (!stop_) {
      const std::string text = ReadText(path_);
      {
        std::lock_guard<std::mutex> lock(m_);
        statuses_.insert(LineCount(text) == 16 ? InfoValue(text, "PRINTER_STATUS") : "(missing)");
        counts_.insert(InfoValue(text, "TOTAL_COUNT"));
      }
      ++reads_;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::string path_;
  mutable std::mutex m_;
  std::set<std::string> statuses_, counts_;
  std::atomic<int> reads_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: it starts once the rest is made
};

// The backend's waits for the printer between prints, in milliseconds, from
// its DEBUG lines.
inline std::vector<long> GetClaimWaits(const std::string& backendErrors)
{
  const std::string prefix = "DEBUG: Waited ";
  std::vector<long> waits;
  std::istringstream lines(backendErrors);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(prefix, 0) == 0) waits.push_back(std::strtol(line.c_str() + prefix.size(), nullptr, 10));
  }
  return waits;
}

#endif
