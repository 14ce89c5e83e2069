// Every program a person may start, run as a person would: --help and
// --version answer on standard output with exit status 0, a wrong usage gets
// one line on standard error and exit status 2, and none of them starts its
// real work (no window, no cache folder, no device, no file written).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "CacheFolder.h"
#include "FixedPath.h"
#include "TempRoot.h"

extern char** environ;

namespace {

struct Outcome {
  bool exited = false;  // false: killed after the deadline, or not started
  int status = -1;
  std::string out, err;
};

// A program under test and its wrong command lines (arguments after the name).
struct Program {
  const char* name;
  const char* path;
  std::vector<std::vector<std::string>> wrongCounts;
};

void PrintTo(const Program& program, std::ostream* os)
{
  *os << program.name;
}

// What each program is given: a temporary root, bus, home and working folder,
// no scheduler, and no display (Qt would abort if it were started).
class Sandbox {
public:
  Sandbox() : work_(root_.Path() + "/work"), bus_(root_.Path() + "/bus")
  {
    for (const char* folder : {"/work", "/bus", "/home", "/run"}) {
      std::filesystem::create_directory(root_.Path() + folder);
    }
    set_ = {"TQ58_EMULATED_USB=" + bus_, "CUPS_SERVER=" + root_.Path() + "/no-cupsd.sock",
            "HOME=" + root_.Path() + "/home", "XDG_RUNTIME_DIR=" + root_.Path() + "/run", "QT_QPA_PLATFORM=xcb"};
  }

  // Runs path with args in the working folder; a program still running after
  // 20 seconds (one that started instead of answering) is killed with its group.
  Outcome Run(const char* path, const std::vector<std::string>& args) const
  {
    Outcome outcome;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return outcome;
    std::vector<std::string> argStore = {path};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<std::string> envStore = Environment();
    std::vector<char*> argv, envp;
    for (std::string& a : argStore) argv.push_back(a.data());
    for (std::string& e : envStore) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_addchdir_np(&actions, work_.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path, &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    close(err[1]);
    if (rc == 0) Collect(pid, out[0], err[0], &outcome);
    close(out[0]);
    close(err[0]);
    return outcome;
  }

  const std::string& Work() const { return work_; }
  const std::string& Bus() const { return bus_; }

private:
  // The test's environment without a display, with the sandbox's settings.
  std::vector<std::string> Environment() const
  {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string key = entry.substr(0, entry.find('='));
      bool replaced = key == "DISPLAY" || key == "WAYLAND_DISPLAY";
      for (const std::string& s : set_) replaced = replaced || s.compare(0, key.size() + 1, key + "=") == 0;
      if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), set_.begin(), set_.end());
    return env;
  }

  static void Collect(pid_t pid, int outFd, int errFd, Outcome* outcome)
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int fds[2] = {outFd, errFd};
    bool late = false;
    while (!late && (fds[0] >= 0 || fds[1] >= 0)) {
      using std::chrono::milliseconds;
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
      late = left.count() <= 0 || poll(p, 2, static_cast<int>(left.count())) == 0;
      for (int i = 0; i < 2 && !late; ++i) {
        if (fds[i] < 0 || p[i].revents == 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[i], buffer, sizeof buffer);
        if (n > 0) (i == 0 ? outcome->out : outcome->err).append(buffer, static_cast<size_t>(n));
        else fds[i] = -1;
      }
    }
    // Both streams closed: the program has ended or is ending (a child of its
    // own holding them would keep them open, and it is killed with it).
    if (late) kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    outcome->exited = !late && WIFEXITED(status);
    outcome->status = outcome->exited ? WEXITSTATUS(status) : -1;
  }

  TempRoot root_;
  std::string work_, bus_;
  std::vector<std::string> set_;
};

std::vector<Program> Programs()
{
  return {
      {"infotq58", INFOTQ58_PROGRAM, {{"extra"}}},
      {"StatusInfoTQ-58", STATUSINFO_PROGRAM, {{}, {"SERIAL1", "Printer", "extra"}}},
      {"StatusUtilityTQ-58", STATUSUTILITY_PROGRAM, {{}, {"queue1", "queue2"}, {"--first", "queue1"}}},
#ifdef UNINSTALL_PROGRAM
      {"UninstallTQ58", UNINSTALL_PROGRAM, {{"extra"}}},
#endif
      {"tq58-emulator", EMULATOR_PROGRAM, {{}, {"--bus", "bus", "extra"}, {"--gadget", "udc0"}}},
      {"tq58-decode", DECODE_PROGRAM, {{"a.bin", "b.bin"}, {"--out"}}},
      {"tq58-make-sample", MAKE_SAMPLE_PROGRAM, {{}, {"out.png", "100"}, {"out.png", "1", "2", "3"}}},
      {"tq58-make-profiles", MAKE_PROFILES_PROGRAM, {{}, {"pd.icc"}, {"pd.icc", "sd.icc", "x.icc"}}},
      {"tq58-make-icon",
       MAKE_ICON_PROGRAM,
       {{}, {"a.png"}, {"48", "a.png", "b.png"}, {"9", "a.png"}, {"48x", "a.png"}}},
      {"tq58-settings-demo", SETTINGS_DEMO_PROGRAM, {{"1", "media=x", "extra"}}},
  };
}

std::string Quoted(const std::vector<std::string>& args)
{
  std::string text;
  for (const std::string& a : args) text += " '" + a + "'";
  return text;
}

// One line on standard error that names the program, nothing on standard output.
void ExpectUsageError(const Outcome& r, const Program& program, const std::vector<std::string>& args)
{
  SCOPED_TRACE(program.name + Quoted(args));
  EXPECT_TRUE(r.exited) << "still running: it started instead of refusing";
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind(std::string(program.name) + ": ", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
}

class ProgramOptions : public testing::TestWithParam<Program> {};

TEST_P(ProgramOptions, AnswersHelpVersionAndWrongUsageWithoutStarting)
{
  const Program& program = GetParam();
  Sandbox sandbox;
  for (const char* help : {"--help", "-h"}) {
    const Outcome r = sandbox.Run(program.path, {help});
    EXPECT_TRUE(r.exited && r.status == 0) << help << " status " << r.status << ": " << r.err;
    EXPECT_EQ(r.out.rfind(std::string("Usage: ") + program.name, 0), 0u) << help << ": " << r.out;
    EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
  }
  const Outcome version = sandbox.Run(program.path, {"--version"});
  EXPECT_TRUE(version.exited && version.status == 0) << version.err;
  EXPECT_EQ(version.out, std::string(program.name) + " (tq58-driver) " TQ58_TEST_VERSION "\n");
  EXPECT_EQ(version.err, "");

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--no-such-option"}, {"-x"}, {"--no-such-option", "--help"}}) {
    ExpectUsageError(sandbox.Run(program.path, args), program, args);
  }
  for (const std::vector<std::string>& args : program.wrongCounts) {
    ExpectUsageError(sandbox.Run(program.path, args), program, args);
  }
  // Nothing was started: no cache folder, nothing written where the program ran or on the bus.
  EXPECT_FALSE(std::filesystem::exists(TQ58_FixedPath(kTQ58MakerCacheFolder)));
  EXPECT_TRUE(std::filesystem::is_empty(sandbox.Work()));
  EXPECT_TRUE(std::filesystem::is_empty(sandbox.Bus()));
}

INSTANTIATE_TEST_SUITE_P(Programs, ProgramOptions, testing::ValuesIn(Programs()),
                         [](const testing::TestParamInfo<Program>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

// The daemon answers --help at once and makes nothing: the cache folder is
// what its start makes first.
TEST(DaemonOptions, HelpReturnsAtOnceAndMakesNoCacheFolder)
{
  Sandbox sandbox;
  const Outcome r = sandbox.Run(INFOTQ58_PROGRAM, {"--help"});
  ASSERT_TRUE(r.exited) << "the daemon started";
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("infotq58"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(TQ58_FixedPath(kTQ58MakerCacheFolder)));
}

// "--" ends the options: an argument after it that begins with "-" is the
// window's serial text and no option; the program still checks that text.
TEST(StatusWindowOptions, DoubleDashPassesASerialTextThatLooksLikeAnOption)
{
  Sandbox sandbox;
  const Outcome bad = sandbox.Run(STATUSINFO_PROGRAM, {"--", "--help/x"});
  EXPECT_TRUE(bad.exited);
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "") << "--help after -- was taken for the option";
  EXPECT_NE(bad.err.find("\"/\""), std::string::npos) << bad.err;
}

}  // namespace
