// The job information file in the world-writable cache folder: its name and
// line, written and removed without following links, and the media class
// read from the daemon's information file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "JobInfoFile.h"
#include "TempRoot.h"

namespace {

std::string Read(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string InfoFileText(const std::string& mediaClass)
{
  return "#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"00000\"\nPRINTER_MESSAGE=\"00001\"\n"
         "PRINTER_VERSION=\"1.00\"\nPRINTER_SERIAL_NO=\"AB%2012\"\n\n#MEDIA_INFORMATION\nMEDIA_SIZE=\"150\"\n"
         "MEDIA_CLASS=\"" +
         mediaClass +
         "\"\nMEDIA_INITIAL=\"00050\"\nMEDIA_REMAIN=\"00050\"\n\n"
         "#COUNTER_INFORMATION\nTOTAL_COUNT=\"\"\n\n";
}

TEST(JobInfoFile, JobIdsAndMediaCodes)
{
  EXPECT_TRUE(IsJobId("1"));
  EXPECT_TRUE(IsJobId("1234567890"));
  for (const char* bad : {"", "12345678901", "-1", "1a", "../1", "1 "}) EXPECT_FALSE(IsJobId(bad)) << bad;
  EXPECT_FALSE(IsJobId(nullptr));
  EXPECT_EQ(GetJobInfoFileName("42"), "Print_42.log");
  EXPECT_EQ(GetJobInfoFileName("4/2"), "");
  EXPECT_EQ(CleanMediaClass("0001"), "0001");
  EXPECT_EQ(CleanMediaClass("AB12cd9"), "AB12cd9");
  for (const char* bad : {"", "12345678", "00\"1", "0001\n", "00 1"}) EXPECT_EQ(CleanMediaClass(bad), "") << bad;
  EXPECT_EQ(CleanMediaClass(nullptr), "");
}

TEST(JobInfoFile, WrittenWholeReadableByTheFilterAndRemoved)
{
  TempRoot root;
  const std::string path = root.CacheFolder(false) + "/Print_7.log";
  ASSERT_EQ(WriteJobInfoFile("7", "0001"), 0);  // makes the cache folders
  EXPECT_EQ(Read(path), "MEDIA_CLASS=\"0001\"\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);
  ASSERT_EQ(WriteJobInfoFile("7", "0002\"\nEVIL=\"1"), 0);  // a value that is no plain code stays out
  EXPECT_EQ(Read(path), "MEDIA_CLASS=\"\"\n");
  RemoveJobInfoFile("7");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(WriteJobInfoFile("x", "0001"), -1);
}

TEST(JobInfoFile, LinksPlantedInTheCacheFolderAreNeverFollowed)
{
  TempRoot root;
  const std::string folder = root.CacheFolder();
  const std::string victim = root.WriteFile("victim.txt", "keep me\n");
  ASSERT_EQ(symlink(victim.c_str(), (folder + "/Print_8.log").c_str()), 0);
  ASSERT_EQ(WriteJobInfoFile("8", "0001"), 0);
  EXPECT_EQ(Read(victim), "keep me\n");
  EXPECT_FALSE(std::filesystem::is_symlink(folder + "/Print_8.log"));
  ASSERT_EQ(symlink(victim.c_str(), (folder + "/Print_9.log").c_str()), 0);
  RemoveJobInfoFile("9");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(folder + "/Print_9.log")));
  EXPECT_EQ(Read(victim), "keep me\n");
  // A cache folder that is itself a link is moved aside, not written through.
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(root.Path() + "/elsewhere");
  ASSERT_EQ(symlink((root.Path() + "/elsewhere").c_str(), folder.c_str()), 0);
  EXPECT_EQ(WriteJobInfoFile("10", "0001"), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(folder));
  EXPECT_FALSE(std::filesystem::exists(root.Path() + "/elsewhere/Print_10.log"));
}

TEST(JobInfoFile, MediaClassFromTheDaemonsInformationFile)
{
  TempRoot root;
  const std::string folder = root.CacheFolder();
  const std::string info = folder + "/TQ-58_AB%2012.log";
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "");  // no file
  root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", InfoFileText("0001"));
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "0001");
  root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", InfoFileText(""));  // the offline file
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "");
  root.WriteFile("var/cache/pellori/TQ-58/TQ-58_AB%2012.log", "XMEDIA_CLASS=\"0003\"\nMEDIA_CLASS=\"0002\"\n");
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "0002");  // the key must start its line
  EXPECT_EQ(ReadInfoFileMediaClass("../AB%2012"), "");
  // A file of another user's gives nothing: anyone may put one there.
  ASSERT_EQ(chown(info.c_str(), 65534, 65534), 0);
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "");
  // A link or a FIFO in its place gives nothing, and does not hang.
  std::filesystem::remove(info);
  const std::string other = root.WriteFile("other.log", InfoFileText("0001"));
  ASSERT_EQ(symlink(other.c_str(), info.c_str()), 0);
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "");
  std::filesystem::remove(info);
  ASSERT_EQ(mkfifo(info.c_str(), 0666), 0);
  EXPECT_EQ(ReadInfoFileMediaClass("AB%2012"), "");
}

}  // namespace
