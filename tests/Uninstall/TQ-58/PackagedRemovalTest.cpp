// The helper on a driver installed from the Debian packages: a stand-in dpkg
// at its installed path in a temporary root, beside a stand-in dpkg database,
// records how it was run and exits with a chosen status.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
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
  // Gives each package a file list in the stand-in dpkg database.
  void SetInstalled(const std::vector<std::string>& packages)
  {
    for (const std::string& package : packages) {
      root.WriteFile(std::string(tl::kDpkgInfoFolder).substr(1) + "/" + package + ".list", "/.\n");
    }
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

// dpkg purges exactly the installed packages of ours, in one call; the helper
// itself removes nothing and stops nothing, and its output is the reply alone.
TEST_F(UninstallHelperPackagedTest, InstalledPackagesArePurgedThroughDpkg)
{
  struct Case {
    std::vector<std::string> installed;
    std::string args;
  };
  const std::vector<Case> cases = {
      {{"printer-driver-tq58", "tq58-status"}, "call\n--purge\ntq58-status\nprinter-driver-tq58\n"},
      {{"printer-driver-tq58"}, "call\n--purge\nprinter-driver-tq58\n"},
      {{"tq58-tools", "printer-driver-tq58", "tq58-status"},
       "call\n--purge\ntq58-tools\ntq58-status\nprinter-driver-tq58\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(Installed(tl::kDpkgInfoFolder));
    fs::remove(tools + "/dpkg-args");
    SetInstalled(c.installed);
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
  SetInstalled({"tq58-tools"});
  const ProcessResult r = RunHelper();
  EXPECT_EQ(r.out, kTrue);
  const std::string toolsList = std::string(tl::kDpkgInfoFolder) + "/tq58-tools.list";
  EXPECT_EQ(Leftovers(), (std::vector<std::string>{tl::kDpkg, toolsList}));
  EXPECT_FALSE(Exists(tools + "/dpkg-args"));
  EXPECT_EQ(Read("systemctl-calls"), "disable --now infotq58.service\n");
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

}  // namespace
