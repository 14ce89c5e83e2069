// Child processes: how they end, what they are given (environment, standard
// streams, descriptors, signals, session) and how a failed start is told.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ProcessSpawn.h"

namespace {

// A pipe whose ends close with the object.
struct Pipe {
  int read = -1, write = -1;
  explicit Pipe(int flags = O_CLOEXEC)
  {
    int fds[2];
    if (pipe2(fds, flags) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe()
  {
    CloseWrite();
    if (read >= 0) close(read);
  }
  void CloseWrite()
  {
    if (write >= 0) close(write);
    write = -1;
  }
  std::string ReadAll()
  {
    CloseWrite();
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(read, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
  }
};

SpawnRequest Shell(const std::string& script)
{
  SpawnRequest request;
  request.argv = {"/bin/sh", "-c", script};
  return request;
}

// Runs request with standard output on a pipe: what the child wrote, and its exit code in *code.
std::string RunCapturing(SpawnRequest request, int* code)
{
  Pipe out;
  request.out = SpawnStream::Fd(out.write);
  pid_t pid = -1;
  if (!TQ58_StartProcess(request, &pid)) return "not started";
  const std::string text = out.ReadAll();
  ProcessEnd end;
  EXPECT_TRUE(TQ58_WaitProcess(pid, &end));
  *code = end.exited ? end.exitCode : -1;
  return text;
}

TEST(ProcessSpawn, TellsExitCodeAndSignalDeath)
{
  EXPECT_EQ(TQ58_RunProcess(Shell("exit 0")), 0);
  EXPECT_EQ(TQ58_RunProcess(Shell("exit 7")), 7);

  pid_t pid = -1;
  ASSERT_TRUE(TQ58_StartProcess(Shell("kill -KILL $$"), &pid));
  ProcessEnd end;
  ASSERT_TRUE(TQ58_WaitProcess(pid, &end));
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(end.signal, SIGKILL);
  EXPECT_EQ(TQ58_RunProcess(Shell("kill -TERM $$")), -1);
  // A child already waited for is no child any more.
  EXPECT_FALSE(TQ58_WaitProcess(pid, &end));
}

TEST(ProcessSpawn, FailedStartIsReported)
{
  pid_t pid = -1;
  EXPECT_FALSE(TQ58_StartProcess(SpawnRequest(), &pid));
  SpawnRequest missing;
  missing.argv = {"/nonexistent/tq58-no-such-program"};
  EXPECT_FALSE(TQ58_StartProcess(missing, &pid));
  EXPECT_EQ(TQ58_RunProcess(missing), -1);
  // Without the path search a bare name is a file in the working folder.
  SpawnRequest bare;
  bare.argv = {"tq58-no-such-program-here", "-c", "exit 3"};
  EXPECT_EQ(TQ58_RunProcess(bare), -1);
  bare.argv[0] = "sh";
  EXPECT_EQ(TQ58_RunProcess(bare), -1);
  bare.searchPath = true;
  EXPECT_EQ(TQ58_RunProcess(bare), 3);
}

TEST(ProcessSpawn, EnvironmentIsTheGivenOneOrTheParents)
{
  SpawnRequest request;
  request.argv = {"/usr/bin/env"};
  request.environment = std::vector<std::string>{"LANG=C", "TQ58_ONE=1"};
  int code = -1;
  EXPECT_EQ(RunCapturing(request, &code), "LANG=C\nTQ58_ONE=1\n");
  EXPECT_EQ(code, 0);
  request.environment = std::vector<std::string>{};
  EXPECT_EQ(RunCapturing(request, &code), "");

  ASSERT_EQ(setenv("TQ58_SPAWN_INHERITED", "yes", 1), 0);
  EXPECT_EQ(RunCapturing(Shell("printf %s \"$TQ58_SPAWN_INHERITED\""), &code), "yes");
  unsetenv("TQ58_SPAWN_INHERITED");
}

TEST(ProcessSpawn, StandardStreamsGoWhereTheyAreSent)
{
  Pipe in, err;
  SpawnRequest request = Shell("read line; printf 'out:%s' \"$line\"; printf 'err' >&2");
  request.in = SpawnStream::Fd(in.read);
  request.err = SpawnStream::Fd(err.write);
  ASSERT_EQ(write(in.write, "hello\n", 6), 6);
  in.CloseWrite();
  int code = -1;
  EXPECT_EQ(RunCapturing(request, &code), "out:hello");
  EXPECT_EQ(err.ReadAll(), "err");

  // /dev/null: nothing to read, and what is written goes nowhere.
  SpawnRequest quiet = Shell("cat; echo lost; echo lost >&2");
  quiet.in = SpawnStream::Null();
  quiet.err = SpawnStream::Null();
  EXPECT_EQ(RunCapturing(quiet, &code), "lost\n");
  quiet.out = SpawnStream::Null();
  EXPECT_EQ(TQ58_RunProcess(quiet), 0);

  // One descriptor for both streams keeps their order.
  Pipe both;
  SpawnRequest joined = Shell("echo one; echo two >&2; echo three");
  joined.out = SpawnStream::Fd(both.write);
  joined.err = SpawnStream::Fd(both.write);
  EXPECT_EQ(TQ58_RunProcess(joined), 0);
  EXPECT_EQ(both.ReadAll(), "one\ntwo\nthree\n");
}

TEST(ProcessSpawn, OtherDescriptorsCloseOnRequest)
{
  Pipe open(0);  // not close-on-exec: a child keeps it unless told otherwise
  const std::string script = "test -e /proc/self/fd/" + std::to_string(open.write);
  EXPECT_EQ(TQ58_RunProcess(Shell(script)), 0);
  SpawnRequest closing = Shell(script);
  closing.closeOtherFds = true;
  EXPECT_EQ(TQ58_RunProcess(closing), 1);
}

// Ignored and blocked signals of the parent are not passed on.
TEST(ProcessSpawn, ChildStartsWithDefaultSignals)
{
  struct sigaction ignore = {}, old = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(sigaction(SIGTERM, &ignore, &old), 0);
  sigset_t block, oldMask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &oldMask), 0);

  int code = -1;
  const std::string masks = RunCapturing(Shell("grep -E '^Sig(Blk|Ign)' /proc/self/status"), &code);
  const int killed = TQ58_RunProcess(Shell("kill -TERM $$; exit 0"));

  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  sigaction(SIGTERM, &old, nullptr);
  // The C library's own real-time signals may stay ignored; the parent's may not.
  unsigned long long blocked = 0, ignored = 0;
  ASSERT_EQ(std::sscanf(masks.c_str(), "SigBlk: %llx SigIgn: %llx", &blocked, &ignored), 2) << masks;
  EXPECT_EQ(blocked, 0u);
  EXPECT_EQ(ignored & (1ull << (SIGTERM - 1)), 0u);
  EXPECT_EQ(killed, -1);
}

// The output is read to the child's end, within a limit; its end and its
// other streams are the request's.
TEST(ProcessSpawn, CaptureReadsOutputWithinALimit)
{
  SpawnRequest request = Shell("printf 'one\\ntwo'; echo lost >&2; exit 3");
  request.err = SpawnStream::Null();
  request.out = SpawnStream::Null();  // replaced by the capture's pipe
  CapturedOutput captured;
  ASSERT_TRUE(TQ58_CaptureProcess(request, 7, &captured));
  EXPECT_EQ(captured.text, "one\ntwo");
  EXPECT_FALSE(captured.overflowed);
  EXPECT_TRUE(captured.end.exited);
  EXPECT_EQ(captured.end.exitCode, 3);

  // One byte past the limit is refused, and a writer that never stops ends.
  ASSERT_TRUE(TQ58_CaptureProcess(Shell("printf 12345678"), 7, &captured));
  EXPECT_TRUE(captured.overflowed);
  EXPECT_LE(captured.text.size(), 7u);
  ASSERT_TRUE(TQ58_CaptureProcess(Shell("exec yes"), 4096, &captured));
  EXPECT_TRUE(captured.overflowed);
  EXPECT_FALSE(captured.end.exited);
  EXPECT_EQ(captured.end.signal, SIGPIPE);

  ASSERT_TRUE(TQ58_CaptureProcess(Shell("kill -KILL $$"), 64, &captured));
  EXPECT_EQ(captured.text, "");
  EXPECT_EQ(captured.end.signal, SIGKILL);
  SpawnRequest missing;
  missing.argv = {"/nonexistent/tq58-no-such-program"};
  EXPECT_FALSE(TQ58_CaptureProcess(missing, 64, &captured));
}

TEST(ProcessSpawn, NewSessionOnRequest)
{
  for (const bool newSession : {false, true}) {
    Pipe hold;
    SpawnRequest request = Shell("read line");
    request.in = SpawnStream::Fd(hold.read);
    request.newSession = newSession;
    pid_t pid = -1;
    ASSERT_TRUE(TQ58_StartProcess(request, &pid));
    // The child waits on its input, so its session can be asked before it ends.
    EXPECT_EQ(getsid(pid) == pid, newSession);
    hold.CloseWrite();
    EXPECT_TRUE(TQ58_WaitProcess(pid, nullptr));
  }
}

}  // namespace
