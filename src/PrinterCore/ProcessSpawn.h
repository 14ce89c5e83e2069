// Starting a program as a child process with posix_spawn, and waiting for it.
// The child starts with every signal at its default action and none blocked,
// whatever the parent ignores or blocks; its standard streams are inherited,
// tied to /dev/null, or taken from a descriptor of the parent's.
#ifndef TQ58_PROCESSSPAWN_H
#define TQ58_PROCESSSPAWN_H

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Where one standard stream of the child goes.
struct SpawnStream {
  enum class Kind { kInherit, kNull, kFd };
  Kind kind = Kind::kInherit;
  int fd = -1;  // kFd: the parent's descriptor, given to the child under the stream's number

  static SpawnStream Inherit() { return {}; }
  static SpawnStream Null() { return {Kind::kNull, -1}; }
  static SpawnStream Fd(int fd) { return {Kind::kFd, fd}; }
};

struct SpawnRequest {
  std::vector<std::string> argv;  // argv[0] is the program
  bool searchPath = false;        // argv[0] looked up in PATH when it holds no '/'
  // The child's whole environment; without it the child gets the parent's.
  std::optional<std::vector<std::string>> environment;
  // Set up in this order: a stream sent to descriptor 0, 1 or 2 gets what that
  // descriptor is once the streams before it are set up.
  SpawnStream in, out, err;
  bool closeOtherFds = false;  // every descriptor above 2 closed in the child
  bool newSession = false;     // the child leads a session of its own (setsid)
};

// How a child ended.
struct ProcessEnd {
  bool exited = false;  // it returned from main or called exit
  int exitCode = -1;    // when it exited
  int signal = 0;       // the signal that ended it, when it did not exit
};

// Starts the child and sets *pid. False when it could not be started (an
// empty argv, a program that is not there). Does not block.
bool TQ58_StartProcess(const SpawnRequest& request, pid_t* pid);

// Waits for the child pid to end, through interruptions by signals. False
// when there is no such child. Blocks until the child ends.
bool TQ58_WaitProcess(pid_t pid, ProcessEnd* end);

// Starts the child and waits for it: its exit code, or -1 when it could not
// be started or did not exit (ended by a signal). Blocks until the child ends.
int TQ58_RunProcess(const SpawnRequest& request);

// What a child wrote on its standard output, and how it ended.
struct CapturedOutput {
  std::string text;         // at most the limit's bytes
  bool overflowed = false;  // it wrote more (or its output failed): the rest was not read
  ProcessEnd end;
};

// Starts the child with its standard output on a pipe (request.out is not
// used), reads at most limit bytes of it and waits for the child. Past the
// limit the pipe is closed, so that a child that will not stop writing ends
// on SIGPIPE. False when the child could not be started. Blocks until the
// child ends and every holder of its output has closed it.
bool TQ58_CaptureProcess(const SpawnRequest& request, size_t limit, CapturedOutput* captured);

#endif
