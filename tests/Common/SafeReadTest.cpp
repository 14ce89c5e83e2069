// Small-file reads that never wait on what stands at a path.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "SafeRead.h"
#include "TempRoot.h"

namespace {

// Only a regular file up to the limit is read; at the limit it is read whole.
TEST(SafeRead, ReadsARegularFileUpToTheLimit)
{
  TempRoot root;
  root.WriteFile("four", "abcd");
  const int folder = TQ58_OpenFolder(root.Path().c_str());
  ASSERT_GE(folder, 0);
  std::string text = "old";
  EXPECT_TRUE(TQ58_GetSmallFileAt(folder, "four", 4, &text));
  EXPECT_EQ(text, "abcd");
  EXPECT_FALSE(TQ58_GetSmallFileAt(folder, "four", 3, &text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(TQ58_GetSmallFileAt(folder, "missing", 4, &text));
  close(folder);
  EXPECT_TRUE(TQ58_GetSmallFile((root.Path() + "/four").c_str(), 4, &text));
  EXPECT_EQ(text, "abcd");
}

// A fifo, a link (also one to a regular file), a folder or a device is no
// file; a folder reached through a link is not opened.
TEST(SafeRead, RefusesWhatIsNotARegularFile)
{
  TempRoot root;
  const std::string file = root.WriteFile("real/file", "text");
  ASSERT_EQ(mkfifo((root.Path() + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink(file.c_str(), (root.Path() + "/link").c_str()), 0);
  ASSERT_EQ(symlink("/dev/zero", (root.Path() + "/zero").c_str()), 0);
  ASSERT_EQ(symlink((root.Path() + "/real").c_str(), (root.Path() + "/folderlink").c_str()), 0);
  std::string text;
  for (const char* name : {"/fifo", "/link", "/zero", "/real"}) {
    EXPECT_FALSE(TQ58_GetSmallFile((root.Path() + name).c_str(), 1 << 20, &text)) << name;
  }
  EXPECT_FALSE(TQ58_GetSmallFile("/dev/zero", 1 << 20, &text));
  EXPECT_EQ(TQ58_OpenFolder((root.Path() + "/folderlink").c_str()), -1);
  EXPECT_EQ(TQ58_OpenFolder(file.c_str()), -1);
}

}  // namespace
