// The helper program in a temporary root laid out like an installed system,
// with a stand-in systemctl that records its call.
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
#include "TempRoot.h"

namespace fs = std::filesystem;
namespace tl = tq58_layout;

namespace {

const std::string kRequest = "Uninstall=Uninstall\n\n";
const std::string kTrue = "reply=true\n\n";
const std::string kFalse = "reply=false\n\n";

class UninstallHelperTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    char pattern[] = "/tmp/tq58-tools-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    tools = pattern;
    // Records its arguments and what the daemon stop finds in place.
    WriteScript(tools + "/systemctl", "{ printf '%s\\n' \"$@\"\n"
                "  [ -e '" + Installed(tl::kDaemon) + "' ] && echo daemon-present\n"
                "  [ -e '" + Installed(tl::kFilter) + "' ] || echo filter-gone\n"
                "} >> '" + tools + "/record'");
    setenv("TQ58_SYSTEMCTL", (tools + "/systemctl").c_str(), 1);
  }
  void TearDown() override
  {
    setenv("TQ58_SYSTEMCTL", "/bin/true", 1);
    fs::remove_all(tools);
  }

  ProcessResult RunHelper(const std::string& input = kRequest) { return RunProcess({UNINSTALL_HELPER_PROGRAM}, input); }
  std::string Record() const
  {
    std::ostringstream text;
    text << std::ifstream(tools + "/record").rdbuf();
    return text.str();
  }

  TempRoot root;
  std::string tools;
};

TEST_F(UninstallHelperTest, FullRemovalLeavesNothingAndServesOneRequest)
{
  PopulateInstalledSystem(root);
  const ProcessResult r = RunHelper(kRequest + kRequest);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kTrue);  // one reply, however many requests were sent
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  // Stopped once, without a shell, after the driver files and before its own file.
  EXPECT_EQ(Record(), "disable\n--now\ninfotq58.service\ndaemon-present\nfilter-gone\n");
  EXPECT_TRUE(fs::is_directory(root.Path() + "/Library/Caches"));
}

TEST_F(UninstallHelperTest, SiblingPpdKeepsTheSharedBackend)
{
  PopulateInstalledSystem(root);
  const std::string sibling = Installed(std::string(tl::kPpdFolder) + "/HB-23W.gz");
  std::ofstream(sibling) << "ppd";
  EXPECT_EQ(RunHelper().out, kTrue);
  std::vector<std::string> left = GetDriverLeftovers(root);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{tl::kPpdFolder + std::string("/HB-23W.gz"), tl::kCupsBackendLink,
                                            tl::kBackend}))
      << "only the sibling's PPD, the backend and its link stay";
}

TEST_F(UninstallHelperTest, NothingInstalledStillSucceeds)
{
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(Record(), "disable\n--now\ninfotq58.service\nfilter-gone\n");
}

TEST_F(UninstallHelperTest, AnotherProductsFilesAndFoldersStay)
{
  PopulateInstalledSystem(root);
  const std::string filter = root.WriteFile("Library/Printers/Pellori/Filters/rastertohb23", "x");
  const std::string cache = root.WriteFile("Library/Caches/Pellori/HB-23/HB-23_X.log", "x");
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_TRUE(Exists(filter));
  EXPECT_TRUE(Exists(cache));
  EXPECT_FALSE(Exists(Installed(tl::kFilter)));
  EXPECT_FALSE(Exists(Installed("/Library/Printers/Pellori/Icons")));
  EXPECT_FALSE(Exists(Installed(tl::kUninstallFolder)));
}

// A path that cannot be removed: the reply is false and what comes after it stays.
TEST_F(UninstallHelperTest, UnremovablePathStopsTheRemoval)
{
  struct Case {
    std::string blocked;
    std::vector<std::string> gone, kept;
  };
  const std::string macOS = std::string(tl::kUtilityApp) + "/Contents/MacOS";
  const std::vector<Case> cases = {
      // The backend: nothing at all is removed.
      {tl::kBackend, {}, {tl::kProfileFolder + std::string("/PD_TQ58_0100.icc"), tl::kPpd, tl::kDaemon}},
      // A folder inside the driver files: the rest of that list and the service files stay.
      {macOS, {tl::kPpd, tl::kFilter, tl::kIcon}, {tl::kUtilityApp, tl::kCacheFolder, tl::kDaemon, tl::kHelper}},
      // The daemon: the service files after it, the folders and the extras stay.
      {tl::kDaemon, {tl::kCacheFolder, tl::kUtilityApp}, {tl::kDaemonLaunchd, tl::kHelper, tl::kStrayFile, tl::kSystemdUnit}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blocked);
    PopulateInstalledSystem(root);
    Unremovable blocked(Installed(c.blocked));
    if (!blocked.IsActive()) GTEST_SKIP() << "no way to make a path unremovable here";
    EXPECT_EQ(RunHelper().out, kFalse);
    for (const std::string& p : c.gone) EXPECT_FALSE(Exists(Installed(p))) << p;
    for (const std::string& p : c.kept) EXPECT_TRUE(Exists(Installed(p))) << p;
    blocked.Undo();
    fs::remove_all(root.Path() + "/Library/Printers");
  }
  EXPECT_NE(Record().find("disable\n--now\n"), std::string::npos) << "the daemon is stopped on failure too";
}

TEST_F(UninstallHelperTest, MalformedRequestGetsNoReplyAndRemovesNothing)
{
  PopulateInstalledSystem(root);
  const std::vector<std::string> before = GetDriverLeftovers(root);
  const std::vector<std::string> inputs = {
      "",                                           // end of input
      "Uninstall=Uninstall\n",                      // no empty line
      "Uninstall\n\n",                              // no '='
      std::string("Uninstall=Unin\0stall\n\n", 22),  // a NUL byte
      "a=" + std::string(5000, 'x') + "\n\n",        // too long
  };
  for (const std::string& input : inputs) {
    const ProcessResult r = RunHelper(input);
    EXPECT_EQ(r.out, "") << input.size();
    EXPECT_NE(r.exitCode, 0);
  }
  EXPECT_EQ(GetDriverLeftovers(root), before);
  EXPECT_EQ(Record(), "") << "the daemon is left running";
}

// Links planted where a user can write: removed themselves, their targets untouched.
TEST_F(UninstallHelperTest, PlantedLinksAreRemovedNotFollowed)
{
  PopulateInstalledSystem(root);
  const std::string outside = tools + "/outside";
  fs::create_directories(outside + "/sub");
  std::ofstream(outside + "/precious") << "keep";
  std::ofstream(outside + "/sub/precious") << "keep";
  const std::string cache = Installed(tl::kCacheFolder);
  fs::create_directory_symlink(outside, cache + "/link-to-outside");
  fs::create_symlink(outside + "/precious", cache + "/file-link");
  fs::remove(Installed(tl::kStrayFile));
  fs::create_directory_symlink(outside, Installed(tl::kStrayFile));
  fs::remove_all(Installed(tl::kUtilityApp));
  fs::create_directory_symlink(outside, Installed(tl::kUtilityApp));

  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  EXPECT_TRUE(Exists(outside + "/precious"));
  EXPECT_TRUE(Exists(outside + "/sub/precious"));
}

}  // namespace

int main(int argc, char** argv)
{
  // Nothing here may ever stop the machine's own services.
  setenv("TQ58_SYSTEMCTL", "/bin/true", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
