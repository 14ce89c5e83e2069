// Link-safe removal on real files: what a root process may follow on the way
// to a path, and that nothing is followed out of a folder being emptied.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "InstalledSystem.h"
#include "SafeRemove.h"
#include "TempRoot.h"

namespace fs = std::filesystem;

namespace {

class SafeRemoveTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    base = root.Path();
    fs::create_directories(base + "/outside/inner");
    std::ofstream(base + "/outside/inner/precious") << "keep";
  }
  bool OutsideIntact() const { return Exists(base + "/outside/inner/precious"); }

  TempRoot root;
  std::string base;
};

TEST_F(SafeRemoveTest, FolderWithContentsAndAbsentPaths)
{
  root.WriteFile("tree/a/b/c/file", "x");
  fs::create_directory_symlink(base + "/outside", base + "/tree/a/link");
  fs::create_symlink(base + "/nowhere", base + "/tree/dangling");
  EXPECT_TRUE(deleteFiles(base + "/tree"));
  EXPECT_FALSE(Exists(base + "/tree"));
  EXPECT_TRUE(OutsideIntact());
  EXPECT_TRUE(deleteFiles(base + "/tree"));            // absent counts as removed
  EXPECT_TRUE(deleteFiles(base + "/no/such/folder"));  // so does a missing parent
  EXPECT_FALSE(deleteFiles("relative/path"));
}

TEST_F(SafeRemoveTest, LinkAtThePathIsRemovedItself)
{
  fs::create_directory_symlink(base + "/outside", base + "/link");
  EXPECT_TRUE(IsPathPresent(base + "/link"));
  EXPECT_TRUE(deleteFiles(base + "/link"));
  EXPECT_FALSE(Exists(base + "/link"));
  EXPECT_TRUE(OutsideIntact());
  fs::create_directory_symlink(base + "/outside", base + "/link");
  EXPECT_FALSE(RemoveFolderIfEmpty(base + "/link"));
  EXPECT_TRUE(Exists(base + "/link"));
}

// On the way to a path a link is followed only when root alone could have put it there.
TEST_F(SafeRemoveTest, LinksOnTheWayAreFollowedOnlyFromRootOnlyFolders)
{
  fs::create_directories(base + "/shared");
  fs::create_directory_symlink(base + "/outside", base + "/shared/inner-link");
  fs::create_directory_symlink("outside", base + "/root-link");  // relative, like /lib -> usr/lib
  chmod((base + "/shared").c_str(), 0777);

  EXPECT_FALSE(deleteFiles(base + "/shared/inner-link/inner/precious"));
  EXPECT_TRUE(IsPathPresent(base + "/shared/inner-link/inner/precious"));
  EXPECT_TRUE(OutsideIntact());

  chmod(base.c_str(), 0755);
  EXPECT_TRUE(IsPathPresent(base + "/root-link/inner/precious"));
  EXPECT_TRUE(deleteFiles(base + "/root-link/inner/precious"));
  EXPECT_FALSE(OutsideIntact());
}

// Deeper than the folders held open at once, with side branches at every
// level: each is emptied, whether reached directly or after being moved up.
TEST_F(SafeRemoveTest, DeepTreeWithSideBranches)
{
  std::string level = "tree";
  for (int i = 0; i < 60; ++i) {
    root.WriteFile(level + "/side/inner/file", "x");
    root.WriteFile(level + "/file", "x");
    fs::create_directory_symlink(base + "/outside", base + "/" + level + "/link");
    fs::create_symlink(base + "/outside/inner/precious", base + "/" + level + "/file-link");
    level += "/d";
  }
  fs::create_directories(base + "/" + level);
  EXPECT_TRUE(deleteFiles(base + "/tree"));
  EXPECT_FALSE(Exists(base + "/tree"));
  EXPECT_TRUE(OutsideIntact());
}

TEST_F(SafeRemoveTest, OnlyEmptyFoldersArePruned)
{
  EXPECT_FALSE(RemoveFolderIfEmpty(base + "/outside/inner"));
  EXPECT_TRUE(OutsideIntact());
  fs::create_directories(base + "/empty");
  EXPECT_TRUE(RemoveFolderIfEmpty(base + "/empty"));
  EXPECT_FALSE(RemoveFolderIfEmpty(base + "/empty"));
}

TEST_F(SafeRemoveTest, UnremovableEntryFailsTheRemoval)
{
  root.WriteFile("tree/sub/file", "x");
  Unremovable blocked(base + "/tree/sub");
  if (!blocked.IsActive()) GTEST_SKIP() << "no way to make a path unremovable here";
  root.WriteFile("tree/other/file", "x");
  EXPECT_FALSE(deleteFiles(base + "/tree"));
  EXPECT_TRUE(Exists(base + "/tree/sub"));
  EXPECT_FALSE(Exists(base + "/tree/other")) << "what can go goes";
  blocked.Undo();
  EXPECT_TRUE(deleteFiles(base + "/tree"));
}

}  // namespace
