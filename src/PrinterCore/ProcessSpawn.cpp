#include "ProcessSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

extern char** environ;

namespace {

// Owns the pointer array posix_spawn takes; texts must outlive it.
std::vector<char*> GetPointers(const std::vector<std::string>& texts)
{
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

void AddStream(posix_spawn_file_actions_t* actions, const SpawnStream& stream, int number)
{
  switch (stream.kind) {
  case SpawnStream::Kind::kInherit: break;
  case SpawnStream::Kind::kNull:
    posix_spawn_file_actions_addopen(actions, number, "/dev/null", number == 0 ? O_RDONLY : O_WRONLY, 0);
    break;
  case SpawnStream::Kind::kFd:
    // The child's copy stays open across exec even when fd is close-on-exec.
    posix_spawn_file_actions_adddup2(actions, stream.fd, number);
    break;
  }
}

void SetUpDescriptors(posix_spawn_file_actions_t* actions, const SpawnRequest& request)
{
  AddStream(actions, request.in, STDIN_FILENO);
  AddStream(actions, request.out, STDOUT_FILENO);
  AddStream(actions, request.err, STDERR_FILENO);
  if (request.closeOtherFds) posix_spawn_file_actions_addclosefrom_np(actions, STDERR_FILENO + 1);
}

void SetUpAttributes(posix_spawnattr_t* attributes, bool newSession)
{
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(attributes, &all);
  posix_spawnattr_setsigmask(attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (newSession) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setflags(attributes, flags);
}

// Reads fd to its end into *text, up to limit bytes. False when more was
// there (or a read failed): the caller closes fd then.
bool ReadUpTo(int fd, size_t limit, std::string* text)
{
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (static_cast<size_t>(n) > limit - text->size()) return false;
    text->append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace

bool TQ58_StartProcess(const SpawnRequest& request, pid_t* pid)
{
  if (pid == nullptr || request.argv.empty() || request.argv[0].empty()) return false;
  const std::vector<char*> argv = GetPointers(request.argv);
  std::vector<char*> envp;
  if (request.environment) envp = GetPointers(*request.environment);
  char* const* environment = request.environment ? envp.data() : environ;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  SetUpDescriptors(&actions, request);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  SetUpAttributes(&attributes, request.newSession);
  const int rc = request.searchPath ? posix_spawnp(pid, argv[0], &actions, &attributes, argv.data(), environment)
                                    : posix_spawn(pid, argv[0], &actions, &attributes, argv.data(), environment);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return rc == 0;
}

bool TQ58_WaitProcess(pid_t pid, ProcessEnd* end)
{
  ProcessEnd result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  result.exited = WIFEXITED(status);
  if (result.exited) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  if (end != nullptr) *end = result;
  return true;
}

int TQ58_RunProcess(const SpawnRequest& request)
{
  pid_t pid = -1;
  if (!TQ58_StartProcess(request, &pid)) return -1;
  ProcessEnd end;
  if (!TQ58_WaitProcess(pid, &end) || !end.exited) return -1;
  return end.exitCode;
}

bool TQ58_CaptureProcess(const SpawnRequest& request, size_t limit, CapturedOutput* captured)
{
  if (captured == nullptr) return false;
  *captured = CapturedOutput();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  SpawnRequest piped = request;
  piped.out = SpawnStream::Fd(fds[1]);
  pid_t pid = -1;
  const bool started = TQ58_StartProcess(piped, &pid);
  close(fds[1]);
  if (!started) {
    close(fds[0]);
    return false;
  }
  captured->overflowed = !ReadUpTo(fds[0], limit, &captured->text);
  close(fds[0]);
  return TQ58_WaitProcess(pid, &captured->end);
}
