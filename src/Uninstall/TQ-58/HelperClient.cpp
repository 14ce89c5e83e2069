#include "HelperClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "FixedPath.h"
#include "HelperMessage.h"
#include "InstallLayout.h"
#include "ProcessSpawn.h"

namespace {

constexpr const char* kPkexec = "/usr/bin/pkexec";

// Starts command with its standard input and output on new pipes.
bool Spawn(const std::vector<std::string>& command, pid_t* pid, int* toChild, int* fromChild)
{
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  SpawnRequest request;
  request.argv = command;
  request.in = SpawnStream::Fd(in[0]);
  request.out = SpawnStream::Fd(out[1]);
  const bool started = TQ58_StartProcess(request, pid);
  close(in[0]);
  close(out[1]);
  if (!started) {
    close(in[1]);
    close(out[0]);
    return false;
  }
  *toChild = in[1];
  *fromChild = out[0];
  return true;
}

// Everything the child writes, the first kHelperMessageLimit bytes kept; the
// rest is drained so that the child never blocks on a full pipe.
std::string ReadAll(int fd)
{
  std::string text;
  char buf[1024];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (text.size() < kHelperMessageLimit) text.append(buf, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

std::vector<std::string> GetElevationCommand()
{
  const char* program = std::getenv("TQ58_ELEVATE");
  if (program == nullptr || program[0] == '\0') program = kPkexec;
  return {program, TQ58_FixedPath(tq58_layout::kHelper)};
}

int32_t RequestHelperUninstall(const std::vector<std::string>& command)
{
  if (command.empty()) return kRequestRefused;
  pid_t pid = -1;
  int toChild = -1, fromChild = -1;
  if (!Spawn(command, &pid, &toChild, &fromChild)) return kRequestRefused;
  WriteHelperMessage(toChild, MakeUninstallRequest());
  close(toChild);
  const std::string text = ReadAll(fromChild);
  close(fromChild);
  ProcessEnd ended;
  const int status = TQ58_WaitProcess(pid, &ended) && ended.exited ? ended.exitCode : -1;

  HelperMessage reply;
  const size_t end = text.find("\n\n");
  if (end != std::string::npos && ParseHelperMessage(std::string_view(text).substr(0, end + 2), &reply)) {
    return IsHelperReplyTrue(reply) ? kRequestSucceeded : kRequestFailed;
  }
  // No reply: the elevation program says whether the helper ever ran.
  if (status == kElevationDismissed || status == kElevationNotAuthorized) return kRequestRefused;
  return kRequestFailed;
}

int32_t requestUnInstall()
{
  return RequestHelperUninstall(GetElevationCommand());
}
