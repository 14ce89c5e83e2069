// The helper program in a temporary root laid out like an installed system,
// with a stand-in systemctl that records its call.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

// A chain of depth folders named "d" below folder, made with descriptors (its
// path grows far past PATH_MAX). Every 100th level, and the last, also holds a
// file, a link to the folder outside and a link to a file in it.
void MakeDeepTree(const std::string& folder, int depth, const std::string& outside)
{
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 1; level <= depth && fd >= 0; ++level) {
    ASSERT_EQ(mkdirat(fd, "d", 0777), 0) << level;
    if (level % 100 == 0 || level == depth) {
      close(openat(fd, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
      ASSERT_EQ(symlinkat(outside.c_str(), fd, "outside-link"), 0);
      ASSERT_EQ(symlinkat((outside + "/precious").c_str(), fd, "file-link"), 0);
    }
    const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = next;
  }
  ASSERT_GE(fd, 0);
  close(fd);
}

// The backend, the service files and what the Linux installation adds: what
// must go for the driver to be gone.
const std::vector<std::string> kProgramFiles = {
    tl::kBackend,       tl::kDaemon,       tl::kSystemdUnit,           tl::kPolkitAction, tl::kHelper,
    tl::kCupsModelLink, tl::kDesktopEntry, tl::kUninstallDesktopEntry, tl::kUninstaller};

class UninstallHelperTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    // Records its arguments and what the daemon stop finds in place.
    WriteScript(tools + "/systemctl",
                "{ printf '%s\\n' \"$@\"\n"
                "  [ -e '" +
                    Installed(tl::kDaemon) +
                    "' ] && echo daemon-present\n"
                    "  [ -e '" +
                    Installed(tl::kFilter) +
                    "' ] || echo filter-gone\n"
                    "} >> '" +
                    tools + "/record'");
    setenv("TQ58_SYSTEMCTL", (tools + "/systemctl").c_str(), 1);
  }
  void TearDown() override { setenv("TQ58_SYSTEMCTL", "/bin/true", 1); }

  ProcessResult RunHelper(const std::string& input = kRequest) { return RunProcess({UNINSTALL_HELPER_PROGRAM}, input); }
  std::string Record() const
  {
    std::ostringstream text;
    text << std::ifstream(tools + "/record").rdbuf();
    return text.str();
  }

  TempRoot root;
  TempDir toolsFolder{"tq58-tools"};
  const std::string tools = toolsFolder.GetPath();
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
  EXPECT_TRUE(fs::is_directory(root.Path() + "/var/cache"));
}

TEST_F(UninstallHelperTest, SiblingPpdKeepsTheSharedBackendAndModelLink)
{
  PopulateInstalledSystem(root);
  const std::string sibling = std::string(tl::kPpdFolder) + "/" + tl::kSiblingPpds[1];
  EXPECT_EQ(sibling, "/usr/share/ppd/pellori/HB-23W.ppd.gz");
  std::ofstream(Installed(sibling)) << "ppd";
  EXPECT_EQ(RunHelper().out, kTrue);
  std::vector<std::string> left = GetDriverLeftovers(root);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{tl::kBackend, tl::kCupsModelLink, tl::kPpdFolder, sibling}))
      << "only the sibling's PPD, its folder, the backend and the model link stay";
}

TEST_F(UninstallHelperTest, PpdFolderGoesOnlyWhenEmpty)
{
  PopulateInstalledSystem(root);
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_FALSE(Exists(Installed(tl::kPpdFolder)));
  EXPECT_FALSE(Exists(Installed(tl::kCupsModelLink)));
  // A file of the administrator's in the folder (not another model's PPD) keeps the folder only.
  PopulateInstalledSystem(root);
  const std::string own = Installed(std::string(tl::kPpdFolder) + "/local.ppd");
  std::ofstream(own) << "ppd";
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_TRUE(Exists(own));
  EXPECT_FALSE(Exists(Installed(tl::kPpd)));
  EXPECT_FALSE(Exists(Installed(tl::kCupsModelLink)));
}

TEST_F(UninstallHelperTest, NothingInstalledStillSucceeds)
{
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(Record(), "disable\n--now\ninfotq58.service\nfilter-gone\n");
}

TEST_F(UninstallHelperTest, AnotherProductsFilesAndFoldersStay)
{
  PopulateInstalledSystem(root);
  const std::string profile = root.WriteFile("usr/share/color/icc/pellori/PD_HB23_0100.icc", "x");
  const std::string cache = root.WriteFile("var/cache/pellori/HB-23/HB-23_X.log", "x");
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_TRUE(Exists(profile));
  EXPECT_TRUE(Exists(cache));
  EXPECT_FALSE(Exists(Installed(tl::kFilter)));
  EXPECT_FALSE(Exists(Installed(tl::kCacheFolder)));
  EXPECT_FALSE(Exists(Installed(tl::kHelperFolder))) << "the empty folders still go";
  EXPECT_FALSE(Exists(Installed(tl::kPpdFolder)));
}

// A path that cannot be removed: the reply is false and what comes after it stays.
TEST_F(UninstallHelperTest, UnremovablePathStopsTheRemoval)
{
  struct Case {
    std::string blocked;
    std::vector<std::string> gone, kept;
  };
  const std::vector<Case> cases = {
      // The backend: nothing at all is removed.
      {tl::kBackend, {}, {tl::kProfilePD, tl::kPpd, tl::kDaemon}},
      // The launcher: the rest of the driver files and the service files stay.
      {tl::kUtilityExe,
       {tl::kPpd, tl::kFilter, tl::kIcons[0], tl::kIcons[1]},
       {tl::kStatusInfoExe, tl::kCacheFolder, tl::kDaemon, tl::kHelper}},
      // The daemon: the service files after it, the folders and the extras stay.
      {tl::kDaemon,
       {tl::kCacheFolder, tl::kStatusInfoExe},
       {tl::kSystemdUnit, tl::kPolkitAction, tl::kHelper, tl::kMakerCacheFolder, tl::kDesktopEntry}},
      // A desktop entry: the helper's files are gone, the extras after it stay.
      {tl::kDesktopEntry, {tl::kHelper, tl::kCupsModelLink}, {tl::kUninstallDesktopEntry, tl::kUninstaller}},
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
  }
  EXPECT_NE(Record().find("disable\n--now\n"), std::string::npos) << "the daemon is stopped on failure too";
}

TEST_F(UninstallHelperTest, MalformedRequestGetsNoReplyAndRemovesNothing)
{
  PopulateInstalledSystem(root);
  const std::vector<std::string> before = GetDriverLeftovers(root);
  const std::vector<std::string> inputs = {
      "",                                            // end of input
      "Uninstall=Uninstall\n",                       // no empty line
      "Uninstall\n\n",                               // no '='
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
  fs::remove(Installed(tl::kStatusInfoExe));
  fs::create_directory_symlink(outside, Installed(tl::kStatusInfoExe));

  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  EXPECT_TRUE(Exists(outside + "/precious"));
  EXPECT_TRUE(Exists(outside + "/sub/precious"));

  // Anyone may write the maker's cache folder: a link there in place of the
  // cache folder goes itself.
  PopulateInstalledSystem(root);
  fs::remove_all(cache);
  fs::create_directory_symlink(outside, cache);
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_EQ(GetDriverLeftovers(root), std::vector<std::string>{});
  EXPECT_TRUE(Exists(outside + "/precious"));
  EXPECT_TRUE(Exists(outside + "/sub/precious"));
}

// A user's deep tree in the cache folder blocks nothing. The helper runs with
// few descriptors: the walk may not hold one per level.
TEST_F(UninstallHelperTest, DeepTreesInTheCacheFolderAreRemoved)
{
  const std::string outside = tools + "/outside";
  fs::create_directories(outside);
  std::ofstream(outside + "/precious") << "keep";
  // Some disk file systems take milliseconds per removed folder: the deep
  // trees are made in memory when the machine offers a place there.
  TempRoot deepRoot(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  for (const int depth : {300, 20000}) {
    SCOPED_TRACE(depth);
    PopulateInstalledSystem(deepRoot);
    const std::string cache = Installed(tl::kCacheFolder);
    ASSERT_NO_FATAL_FAILURE(MakeDeepTree(cache, depth, outside));
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit few = old;
    few.rlim_cur = 64;
    setrlimit(RLIMIT_NOFILE, &few);
    const ProcessResult r = RunHelper();
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(r.out, kTrue);
    EXPECT_TRUE(Exists(outside + "/precious"));
    for (const std::string& p : kProgramFiles) EXPECT_FALSE(Exists(Installed(p))) << p;
    if (Exists(cache)) {
      ADD_FAILURE() << "the cache folder stays";
      RunProcess({"rm", "-rf", "--one-file-system", cache});
    }
    EXPECT_EQ(GetDriverLeftovers(deepRoot), std::vector<std::string>{});
  }
}

// Content of the cache folder that cannot be removed: the rest of it goes, the
// reply stays true and every later step runs.
TEST_F(UninstallHelperTest, UnremovableCacheContentStopsNothing)
{
  PopulateInstalledSystem(root);
  const std::string cache = Installed(tl::kCacheFolder);
  const std::string stuck = root.WriteFile(cache.substr(root.Path().size() + 1) + "/user/stuck", "x");
  ASSERT_NO_FATAL_FAILURE(MakeDeepTree(cache, 300, tools));
  Unremovable blocked(stuck);
  if (!blocked.IsActive()) GTEST_SKIP() << "no way to make a path unremovable here";
  EXPECT_EQ(RunHelper().out, kTrue);
  EXPECT_TRUE(Exists(stuck));
  EXPECT_FALSE(Exists(cache + "/d"));
  EXPECT_FALSE(Exists(cache + "/TQ-58_AB%2012.log"));
  for (const std::string& p : kProgramFiles) EXPECT_FALSE(Exists(Installed(p))) << p;
  EXPECT_FALSE(Exists(Installed(tl::kHelperFolder)));
  EXPECT_TRUE(Exists(Installed(tl::kMakerCacheFolder))) << "it still holds what stays";
  EXPECT_EQ(Record(), "disable\n--now\ninfotq58.service\ndaemon-present\nfilter-gone\n");
}

}  // namespace

int main(int argc, char** argv)
{
  // Nothing here may ever stop the machine's own services.
  setenv("TQ58_SYSTEMCTL", "/bin/true", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
