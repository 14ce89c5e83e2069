// The running daemon and the cache folders: the sticky mode on folders of its
// own, folders of other users and links in their place moved aside, never
// written into, the information file readable by all but writable by root only.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "InfoTq58Fixture.h"

namespace {

constexpr uid_t kNobody = 65534;

struct stat LinkStat(const std::string& path)
{
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) st.st_ino = 0;
  return st;
}

// The name of the hidden entry of folder whose inode is ino; empty when there is none.
std::string HiddenEntryWithInode(const std::string& folder, ino_t ino)
{
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '.' && LinkStat(entry.path().string()).st_ino == ino) return name;
  }
  return std::string();
}

class InfoTq58CacheFolderTest : public InfoTq58Test {
protected:
  std::string Maker() const { return root_.Path() + "/var/cache/pellori"; }
  // Plugs in printer M1 and waits for its file; the folder then holds it.
  void RunUntilTheFileIsWritten()
  {
    Plug("p1", "M1");
    StartDaemon();
    ASSERT_TRUE(WaitForInfo("M1", "MODEL", "TQ-58", 5000)) << DaemonOutput();
  }
  // The folder at path is the daemon's: a real directory of root's, 01777, with M1's file.
  void ExpectNewFolderOfRoot(const std::string& path) const
  {
    const struct stat st = LinkStat(path);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 01777u);
    EXPECT_EQ(LinkStat(InfoFile("M1")).st_mode & 07777, 0644u);
  }
};

}  // namespace

TEST_F(InfoTq58CacheFolderTest, OldWorldWritableFoldersGetTheStickyModeAndTheFileIsWritableByRootOnly)
{
  const std::string folder = root_.CacheFolder(true);  // both 0777, as earlier versions made them
  const ino_t makerIno = LinkStat(Maker()).st_ino, folderIno = LinkStat(folder).st_ino;
  RunUntilTheFileIsWritten();
  EXPECT_EQ(LinkStat(Maker()).st_mode & 07777, 01777u);
  EXPECT_EQ(LinkStat(folder).st_mode & 07777, 01777u);
  EXPECT_EQ(LinkStat(InfoFile("M1")).st_mode & 07777, 0644u);
  // The folders are the same ones, not made anew.
  EXPECT_EQ(LinkStat(Maker()).st_ino, makerIno);
  EXPECT_EQ(LinkStat(folder).st_ino, folderIno);
}

TEST_F(InfoTq58CacheFolderTest, ModelFolderOfAnotherUserIsMovedAsideAndNeverWrittenInto)
{
  const std::string folder = root_.CacheFolder(true);
  root_.WriteFile("var/cache/pellori/TQ-58/mine.txt", "the user's\n");
  ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
  const ino_t userIno = LinkStat(folder).st_ino;
  RunUntilTheFileIsWritten();
  ExpectNewFolderOfRoot(folder);
  EXPECT_NE(LinkStat(folder).st_ino, userIno);
  // The user's folder is kept whole under a hidden name, without the daemon's file.
  const std::string aside = HiddenEntryWithInode(Maker(), userIno);
  ASSERT_FALSE(aside.empty());
  const std::string moved = Maker() + "/" + aside;
  EXPECT_EQ(LinkStat(moved).st_uid, kNobody);
  EXPECT_EQ(ReadText(moved + "/mine.txt"), "the user's\n");
  EXPECT_FALSE(std::filesystem::exists(moved + "/TQ-58_M1.log"));
}

TEST_F(InfoTq58CacheFolderTest, LinkInPlaceOfTheModelFolderIsMovedAsideNotFollowed)
{
  root_.CacheFolder(true);
  const std::string folder = root_.CacheFolder(false), elsewhere = root_.Path() + "/elsewhere";
  std::filesystem::remove(folder);
  std::filesystem::create_directories(elsewhere);
  ASSERT_EQ(symlink(elsewhere.c_str(), folder.c_str()), 0);
  const ino_t linkIno = LinkStat(folder).st_ino;
  RunUntilTheFileIsWritten();
  ExpectNewFolderOfRoot(folder);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
  const std::string aside = HiddenEntryWithInode(Maker(), linkIno);
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(std::filesystem::read_symlink(Maker() + "/" + aside).string(), elsewhere);
}

TEST_F(InfoTq58CacheFolderTest, MakerFolderOfAnotherUserIsMovedAsideWithItsContent)
{
  const std::string folder = root_.CacheFolder(true);
  ASSERT_EQ(chown(Maker().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
  const ino_t userIno = LinkStat(Maker()).st_ino;
  RunUntilTheFileIsWritten();
  ExpectNewFolderOfRoot(Maker());
  ExpectNewFolderOfRoot(folder);
  const std::string aside = HiddenEntryWithInode(root_.Path() + "/var/cache", userIno);
  ASSERT_FALSE(aside.empty());
  const std::string moved = root_.Path() + "/var/cache/" + aside;
  EXPECT_EQ(LinkStat(moved + "/TQ-58").st_uid, kNobody);
  EXPECT_FALSE(std::filesystem::exists(moved + "/TQ-58/TQ-58_M1.log"));
}
