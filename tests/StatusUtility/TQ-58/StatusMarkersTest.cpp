// The status window's marker files in the cache folder.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "StatusMarkers.h"
#include "TempRoot.h"

namespace {

bool Exists(const std::string& path)
{
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(StatusMarkerNames, SerialTextMustNameAFileInTheCacheFolder)
{
  EXPECT_EQ(GetSerialTextProblem("AB%2012"), nullptr);
  EXPECT_NE(GetSerialTextProblem(""), nullptr);
  EXPECT_NE(GetSerialTextProblem("../x"), nullptr);
  EXPECT_NE(GetSerialTextProblem("a/b"), nullptr);
  // "/var/cache/pellori/TQ-58/TQ-58_" + serial + "_START_UTIL" in 128 bytes: 85 bytes of serial.
  ASSERT_EQ(GetLongestSerialText(), 85u);
  EXPECT_EQ(GetSerialTextProblem(std::string(85, 'S')), nullptr);
  EXPECT_NE(GetSerialTextProblem(std::string(86, 'S')), nullptr);
}

TEST(StatusMarkerNames, PathsFollowTheRoot)
{
  TempRoot root;
  const std::string folder = root.CacheFolder(false);
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kUtil), folder + "/TQ-58_AB%2012_UTIL");
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kStartUtil), folder + "/TQ-58_AB%2012_START_UTIL");
  EXPECT_EQ(GetMarkerPath("AB%2012", StatusMarker::kTcUtil), folder + "/TQ-58_AB%2012_TC_UTIL");
  EXPECT_EQ(GetInfoFilePath("AB%2012"), folder + "/TQ-58_AB%2012.log");
  // The longest serial text still gets its whole path below a long root.
  const std::string longest(GetLongestSerialText(), 'S');
  EXPECT_EQ(GetMarkerPath(longest, StatusMarker::kStartUtil), folder + "/TQ-58_" + longest + "_START_UTIL");
}

class StatusMarkerFiles : public ::testing::Test {
protected:
  std::string Path(StatusMarker marker) const { return GetMarkerPath("AB%2012", marker); }
  TempRoot root;
};

TEST_F(StatusMarkerFiles, CreateMakesTheFoldersAndAnEmptyFileForEveryone)
{
  umask(022);
  CreateMarker("AB%2012", StatusMarker::kUtil);
  struct stat st;
  ASSERT_EQ(stat(Path(StatusMarker::kUtil).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(st.st_size, 0);
  ASSERT_EQ(stat(root.CacheFolder(false).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01777u);
  RemoveMarker("AB%2012", StatusMarker::kUtil);
  EXPECT_FALSE(Exists(Path(StatusMarker::kUtil)));
  RemoveMarker("AB%2012", StatusMarker::kUtil);  // already gone: nothing happens
}

TEST_F(StatusMarkerFiles, SecondPressTruncatesTheFirstMarker)
{
  root.CacheFolder();
  std::ofstream(Path(StatusMarker::kTcUtil)) << "left over";
  CreateMarker("AB%2012", StatusMarker::kTcUtil);
  CreateMarker("AB%2012", StatusMarker::kTcUtil);
  struct stat st;
  ASSERT_EQ(stat(Path(StatusMarker::kTcUtil).c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST_F(StatusMarkerFiles, LinkPlantedAtTheMarkerPathIsNotFollowed)
{
  root.CacheFolder();
  const std::string victim = root.WriteFile("victim.txt", "precious");
  ASSERT_EQ(symlink(victim.c_str(), Path(StatusMarker::kStartUtil).c_str()), 0);
  CreateMarker("AB%2012", StatusMarker::kStartUtil);
  std::ifstream in(victim);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "precious");
  ASSERT_EQ(mkfifo(Path(StatusMarker::kTcUtil).c_str(), 0666), 0);
  CreateMarker("AB%2012", StatusMarker::kTcUtil);  // returns instead of waiting for a reader
}

// CreateMarker as the status window runs it for an ordinary user: in a child
// whose effective user and group are nobody's. True when the marker was made.
bool CreateMarkerAsNobody(const std::string& serialNo)
{
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setegid(65534) != 0 || seteuid(65534) != 0) _exit(2);
    _exit(CreateMarker(serialNo, StatusMarker::kUtil) ? 0 : 1);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return false;
  EXPECT_NE(WEXITSTATUS(status), 2) << "cannot become nobody";
  return WEXITSTATUS(status) == 0;
}

struct stat LinkStat(const std::string& path)
{
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) st.st_ino = 0;
  return st;
}

// No hidden entry (a folder moved aside) in folder.
bool HasNoHiddenEntry(const std::string& folder)
{
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string()[0] == '.') return false;
  }
  return true;
}

TEST_F(StatusMarkerFiles, AsAnOrdinaryUserOnlyItsOwnFolderIsChangedAndNothingIsMovedAside)
{
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string folder = root.CacheFolder(true), maker = root.Path() + "/var/cache/pellori";
  const ino_t makerIno = LinkStat(maker).st_ino;
  // A folder of its own gets the sticky mode; root's folder above it is trusted as it is.
  ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
  const ino_t ownIno = LinkStat(folder).st_ino;
  EXPECT_TRUE(CreateMarkerAsNobody("AB%2012"));
  EXPECT_EQ(LinkStat(folder).st_ino, ownIno);
  EXPECT_EQ(LinkStat(folder).st_mode & 07777, 01777u);
  EXPECT_EQ(LinkStat(maker).st_mode & 07777, 0777u);
  // Root's folder, another user's folder, a link: each stays where it is, as it is.
  ASSERT_EQ(unlink(Path(StatusMarker::kUtil).c_str()), 0);
  for (uid_t owner : {0u, 1234u}) {
    ASSERT_EQ(chown(folder.c_str(), owner, owner), 0);
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    EXPECT_FALSE(CreateMarkerAsNobody("AB%2012")) << owner;
    EXPECT_EQ(LinkStat(folder).st_ino, ownIno) << owner;
    EXPECT_EQ(LinkStat(folder).st_mode & 07777, 0755u) << owner;
    EXPECT_EQ(LinkStat(folder).st_uid, owner);
  }
  std::filesystem::remove_all(folder);
  const std::string elsewhere = root.Path() + "/elsewhere";
  std::filesystem::create_directories(elsewhere);
  ASSERT_EQ(symlink(elsewhere.c_str(), folder.c_str()), 0);
  CreateMarkerAsNobody("AB%2012");
  EXPECT_TRUE(std::filesystem::is_symlink(folder));
  EXPECT_TRUE(HasNoHiddenEntry(maker));
  EXPECT_TRUE(HasNoHiddenEntry(root.Path() + "/var/cache"));
  EXPECT_EQ(LinkStat(maker).st_ino, makerIno);
  // A missing folder is made, its own, with the sticky mode.
  std::filesystem::remove(folder);
  EXPECT_TRUE(CreateMarkerAsNobody("AB%2012"));
  EXPECT_EQ(LinkStat(folder).st_uid, 65534u);
  EXPECT_EQ(LinkStat(folder).st_mode & 07777, 01777u);
}

TEST_F(StatusMarkerFiles, RefusedSerialTextWritesNothing)
{
  root.CacheFolder();
  CreateMarker("../../../../escape", StatusMarker::kUtil);
  CreateMarker(std::string(GetLongestSerialText() + 1, 'S'), StatusMarker::kUtil);
  EXPECT_FALSE(Exists(root.Path() + "/var/escape_UTIL"));
  EXPECT_FALSE(Exists(root.CacheFolder(false) + "/TQ-58_" + std::string(GetLongestSerialText() + 1, 'S') + "_UTIL"));
}

}  // namespace
