// The helper on a driver installed from the Debian packages: a stand-in dpkg
// and a stand-in dpkg-query at their installed paths in a temporary root
// record how they were run; dpkg-query prints the chosen package states and
// dpkg exits with a chosen status.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "InstallLayout.h"
#include "InstalledSystem.h"
#include "Process.h"
#include "TempDir.h"
#include "TempRoot.h"

namespace fs = std::filesystem;
namespace tl = tq58_layout;

namespace {

// What the stand-in dpkg prints on its standard output.
const std::string kDpkgChatter = "(Reading database ... 1234 files and directories currently installed.)";

class UninstallHelperPackagedTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    WriteScript(tools + "/systemctl", "echo \"$@\" >> '" + tools + "/systemctl-calls'");
    setenv("TQ58_SYSTEMCTL", (tools + "/systemctl").c_str(), 1);
    PopulateInstalledSystem(root);
    SetDpkg("exit 0");
    SetInstalled({});
  }
  void TearDown() override { setenv("TQ58_SYSTEMCTL", "/bin/true", 1); }

  // The stand-in dpkg: records its arguments (one call per "call" line), the
  // environment, standard input and signal state it was started with, talks
  // on both outputs, then runs last.
  void SetDpkg(const std::string& last)
  {
    const std::string dpkg = Installed(tl::kDpkg);
    fs::create_directories(fs::path(dpkg).parent_path());
    // The signal state is read first, by the shell itself: while it starts a
    // command, the shell blocks its signals for a moment.
    WriteScript(dpkg,
                "while read -r line; do case $line in Sig[IB]*) echo \"$line\";; esac; done"
                " < /proc/$$/status > '" +
                    tools +
                    "/dpkg-signals'\n"
                    "{ echo call; printf '%s\\n' \"$@\"; } >> '" +
                    tools +
                    "/dpkg-args'\n"
                    "tr '\\0' '\\n' < /proc/$$/environ > '" +
                    tools +
                    "/dpkg-env'\n"
                    "readlink /proc/$$/fd/0 > '" +
                    tools +
                    "/dpkg-stdin'\n"
                    "echo '" +
                    kDpkgChatter +
                    "'\n"
                    "echo 'Removing printer-driver-tq58' >&2\n" +
                    last);
  }
  // The stand-in dpkg-query: records its arguments, environment and streams,
  // complains on its standard error, prints output, then runs last.
  void SetQuery(const std::string& output, const std::string& last)
  {
    std::ofstream(tools + "/query-output", std::ios::binary) << output;
    const std::string query = Installed(tl::kDpkgQuery);
    fs::create_directories(fs::path(query).parent_path());
    WriteScript(query, "printf '%s\\n' \"$@\" > '" + tools + "/query-args'\n" +
                           "tr '\\0' '\\n' < /proc/$$/environ > '" + tools + "/query-env'\n" +
                           "readlink /proc/$$/fd/0 /proc/$$/fd/2 > '" + tools + "/query-streams'\n" +
                           "echo 'dpkg-query: no packages found matching tq58-tools' >&2\n" + "cat '" + tools +
                           "/query-output'\n" + last);
  }
  // dpkg-query as dpkg has it: a line for each package it knows, with its
  // status; status 1 when some of ours are unknown to it.
  void SetStates(const std::map<std::string, std::string>& states)
  {
    std::string output;
    for (const auto& [package, status] : states) output += package + "\t" + status + "\n";
    SetQuery(output, states.size() == std::size(tl::kPackages) ? "exit 0" : "exit 1");
  }
  void SetInstalled(const std::vector<std::string>& packages)
  {
    std::map<std::string, std::string> states;
    for (const std::string& package : packages) states[package] = "installed";
    SetStates(states);
  }
  ProcessResult RunHelper(const std::vector<std::string>& env = {})
  {
    return RunProcess({UNINSTALL_HELPER_PROGRAM}, kRequest, env);
  }
  std::string Read(const std::string& name) const
  {
    std::ostringstream text;
    text << std::ifstream(tools + "/" + name).rdbuf();
    return text.str();
  }
  std::vector<std::string> Leftovers() const
  {
    std::vector<std::string> left = GetDriverLeftovers(root);
    std::sort(left.begin(), left.end());
    return left;
  }

  TempRoot root;
  TempDir toolsFolder{"tq58-tools"};
  const std::string tools = toolsFolder.GetPath();
};

// dpkg purges, in one call, each package of ours that dpkg-query shows in any
// state but "not-installed" (a package removed but not purged among them);
// the helper itself removes nothing and stops nothing, and its output is the
// reply alone.
TEST_F(UninstallHelperPackagedTest, PresentPackagesArePurgedThroughDpkg)
{
  struct Case {
    std::map<std::string, std::string> states;
    std::string args;
  };
  const std::vector<Case> cases = {
      {{{"printer-driver-tq58", "installed"}, {"tq58-status", "installed"}},
       "call\n--purge\ntq58-status\nprinter-driver-tq58\n"},
      {{{"printer-driver-tq58", "installed"}}, "call\n--purge\nprinter-driver-tq58\n"},
      {{{"tq58-tools", "installed"}, {"printer-driver-tq58", "installed"}, {"tq58-status", "installed"}},
       "call\n--purge\ntq58-tools\ntq58-status\nprinter-driver-tq58\n"},
      {{{"printer-driver-tq58", "installed"},
        {"tq58-status", "config-files"},
        {"tq58-tools", "not-installed"},
        {"tq58-printer-app", "not-installed"}},
       "call\n--purge\ntq58-status\nprinter-driver-tq58\n"},
      {{{"printer-driver-tq58", "config-files"}}, "call\n--purge\nprinter-driver-tq58\n"},
      {{{"printer-driver-tq58", "half-configured"},
        {"tq58-printer-app", "triggers-pending"},
        {"tq58-tools", "unpacked"},
        {"tq58-status", "half-installed"}},
       "call\n--purge\ntq58-printer-app\ntq58-tools\ntq58-status\nprinter-driver-tq58\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove(tools + "/dpkg-args");
    SetStates(c.states);
    const std::vector<std::string> before = Leftovers();
    const ProcessResult r = RunHelper();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kTrue) << "dpkg's output goes to standard error";
    EXPECT_NE(r.err.find(kDpkgChatter), std::string::npos);
    EXPECT_NE(r.err.find("Removing printer-driver-tq58"), std::string::npos);
    EXPECT_EQ(Read("dpkg-args"), c.args);
    EXPECT_EQ(Leftovers(), before) << "the files are dpkg's to remove";
  }
  EXPECT_EQ(Read("systemctl-calls"), "") << "the package's prerm stops the daemon";
}

// Only whole lines naming a package of ours with a status word count: other
// packages, look-alike names, other separators and a cut-off last line do not.
TEST_F(UninstallHelperPackagedTest, QueryLinesOfOthersAndGarbageAreIgnored)
{
  const std::string garbage =
      "tq58-toolsx\tinstalled\n"
      "libc6\tinstalled\n"
      "tq58-tools installed\n"
      "tq58-status\tInstalled\n"
      "tq58-status\tinstalled extra\n"
      "\ttq58-status\tinstalled\n"
      "tq58-status\t\n"
      "\x01\xff\n"
      "printer-driver-tq58\tinstalled\n";
  SetQuery(garbage + "tq58-printer-app\tinstalled", "exit 1");
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(Read("dpkg-args"), "call\n--purge\nprinter-driver-tq58\n");
}

// dpkg is there but cannot say what it owns: the files may be its own, so the
// helper removes nothing and replies false. Without dpkg at all they are not.
TEST_F(UninstallHelperPackagedTest, UnansweredQueryRemovesNothing)
{
  const std::vector<std::string> before = Leftovers();
  const std::string installed = "printer-driver-tq58\tinstalled\n";
  const std::vector<std::pair<std::string, std::string>> failures = {
      {installed, "kill -KILL $$"},
      {installed, "exit 2"},
      {std::string(8192, 'x') + "\n" + installed, "exit 0"},
      // Status 0 says every package was found, so every one needs its line.
      {"garbage\n", "exit 0"},
      {installed, "exit 0"},
  };
  for (const auto& [output, last] : failures) {
    SCOPED_TRACE(last + " after " + std::to_string(output.size()) + " bytes");
    SetQuery(output, last);
    const ProcessResult r = RunHelper();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kFalse);
  }
  fs::remove(Installed(tl::kDpkgQuery));
  EXPECT_EQ(RunHelper().out, kFalse) << "dpkg without dpkg-query";
  std::vector<std::string> after = Leftovers();
  after.push_back(tl::kDpkgQuery);
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
  EXPECT_FALSE(Exists(tools + "/dpkg-args"));
  EXPECT_EQ(Read("systemctl-calls"), "");

  fs::remove(Installed(tl::kDpkg));
  EXPECT_EQ(RunHelper().out, kTrue) << "no dpkg on the system";
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// Any other end of dpkg is a failure, and the helper removes nothing itself.
TEST_F(UninstallHelperPackagedTest, DpkgFailureRepliesFalse)
{
  SetInstalled({"printer-driver-tq58", "tq58-status"});
  const std::vector<std::string> before = Leftovers();
  for (const std::string last : {"exit 1", "exit 2", "kill -KILL $$"}) {
    SCOPED_TRACE(last);
    SetDpkg(last);
    const ProcessResult r = RunHelper();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kFalse);
  }
  fs::remove(Installed(tl::kDpkg));
  EXPECT_EQ(RunHelper().out, kFalse) << "no dpkg to run";
  std::vector<std::string> after = Leftovers();
  after.push_back(tl::kDpkg);
  std::sort(after.begin(), after.end());
  EXPECT_EQ(after, before);
  EXPECT_EQ(Read("systemctl-calls"), "");
}

// Without the driver's own package the files were installed by hand: the
// helper removes them itself and never calls dpkg, whatever else is packaged.
TEST_F(UninstallHelperPackagedTest, InstallationFromFilesIsRemovedWithoutDpkg)
{
  const std::vector<std::map<std::string, std::string>> cases = {
      {{"tq58-tools", "installed"}},
      {{"tq58-tools", "installed"}, {"printer-driver-tq58", "not-installed"}},
  };
  for (const auto& states : cases) {
    SCOPED_TRACE(states.size());
    PopulateInstalledSystem(root);
    fs::remove(tools + "/systemctl-calls");
    SetStates(states);
    const ProcessResult r = RunHelper();
    EXPECT_EQ(r.out, kTrue);
    EXPECT_EQ(Leftovers(), (std::vector<std::string>{tl::kDpkg, tl::kDpkgQuery}));
    EXPECT_FALSE(Exists(tools + "/dpkg-args"));
    EXPECT_EQ(Read("systemctl-calls"), "disable --now infotq58.service\n");
  }
}

// dpkg and its maintainer scripts run with a fixed environment, nothing of the
// caller's, no input, and every signal at its default.
TEST_F(UninstallHelperPackagedTest, DpkgRunsInACleanEnvironment)
{
  SetInstalled({"printer-driver-tq58"});
  const ProcessResult r = RunHelper({"TQ58_SECRET=from-the-caller"});
  EXPECT_EQ(r.out, kTrue);
  std::istringstream lines(Read("dpkg-env"));
  std::vector<std::string> env;
  for (std::string line; std::getline(lines, line);) env.push_back(line);
  std::sort(env.begin(), env.end());
  EXPECT_EQ(env, (std::vector<std::string>{"DEBIAN_FRONTEND=noninteractive", "LANG=C",
                                           "PATH=/usr/sbin:/usr/bin:/sbin:/bin"}));
  EXPECT_EQ(Read("dpkg-stdin"), "/dev/null\n");
  // The C library keeps its own two signals (32 and 33) ignored in a child
  // it starts; those of the system, 1 to 31, must all be at their default.
  std::istringstream signals(Read("dpkg-signals"));
  std::string name, blocked, ignored;
  signals >> name >> blocked >> name >> ignored;
  EXPECT_EQ(blocked, "0000000000000000");
  EXPECT_EQ(std::stoull(ignored, nullptr, 16) & 0x7fffffffULL, 0u) << ignored;
}

// dpkg-query is asked about every package of ours at once, in the same clean
// environment, with no input, and its complaints about unknown packages go
// nowhere.
TEST_F(UninstallHelperPackagedTest, QueryRunsInACleanEnvironment)
{
  SetInstalled({"printer-driver-tq58"});
  const ProcessResult r = RunHelper({"TQ58_SECRET=from-the-caller"});
  EXPECT_EQ(r.out, kTrue);
  std::string args = "-W\n-f\n${Package}\t${db:Status-Status}\n\n";
  for (const char* package : tl::kPackages) args += std::string(package) + "\n";
  EXPECT_EQ(Read("query-args"), args);
  EXPECT_EQ(Read("query-env"), Read("dpkg-env"));
  EXPECT_EQ(Read("query-streams"), "/dev/null\n/dev/null\n");
  EXPECT_EQ(r.err.find("no packages found"), std::string::npos) << r.err;
}

}  // namespace
