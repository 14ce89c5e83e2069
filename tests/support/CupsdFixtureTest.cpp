// The private scheduler's programs folder must never reach the system's copies
// of the driver's programs: a test that puts its own backend or filter there
// writes a new file beside the system's, never through a link to it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "CupsdFixture.h"
#include "TempRoot.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A stand-in for the system's CUPS programs folder with the driver installed.
std::string MakeSystemServerBin(const TempRoot& root)
{
  const std::string sys = root.Path() + "/system-cups";
  root.WriteFile("system-cups/backend/fyxbackend", "installed backend\n");
  root.WriteFile("system-cups/filter/rastertotq58", "installed filter\n");
  root.WriteFile("system-cups/backend/usb", "system usb backend\n");
  root.WriteFile("system-cups/filter/imagetoraster", "system filter\n");
  return sys;
}

}  // namespace

TEST(TestProgram, WritingOverALinkReplacesTheLinkNotItsTarget)
{
  TempRoot root;
  const std::string target = root.WriteFile("installed/fyxbackend", "installed\n");
  const std::string path = root.Path() + "/bin-fyxbackend";
  fs::create_symlink(target, path);

  ASSERT_TRUE(WriteTestProgram(path, "#!/bin/sh\nexit 0\n"));
  EXPECT_EQ(ReadAll(target), "installed\n");
  EXPECT_FALSE(fs::is_symlink(path));
  EXPECT_EQ(ReadAll(path), "#!/bin/sh\nexit 0\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

TEST(PrivateCupsdServerBin, TheDriversInstalledProgramsNeverAnswerForATest)
{
  TempRoot root;
  const std::string sys = MakeSystemServerBin(root);
  PrivateCupsd cupsd;
  cupsd.SetSystemServerBin(sys);
  std::string error;
  ASSERT_TRUE(cupsd.Start(&error)) << error;

  // The system's other programs are there; the driver's are not.
  EXPECT_TRUE(fs::is_symlink(cupsd.ServerBin() + "/backend/usb"));
  EXPECT_TRUE(fs::is_symlink(cupsd.ServerBin() + "/filter/imagetoraster"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(cupsd.ServerBin() + "/backend/fyxbackend")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(cupsd.ServerBin() + "/filter/rastertotq58")));

  // A test's own programs land in the private folder only, even over a link.
  fs::create_symlink(sys + "/backend/fyxbackend", cupsd.ServerBin() + "/backend/fyxbackend");
  ASSERT_TRUE(cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
  ASSERT_TRUE(cupsd.LinkProgram("filter", "rastertotq58", "/bin/true"));
  ASSERT_TRUE(cupsd.AddProgram("backend", "usb", "#!/bin/sh\nexit 1\n"));
  cupsd.Stop();

  EXPECT_EQ(ReadAll(sys + "/backend/fyxbackend"), "installed backend\n");
  EXPECT_EQ(ReadAll(sys + "/filter/rastertotq58"), "installed filter\n");
  EXPECT_EQ(ReadAll(sys + "/backend/usb"), "system usb backend\n");
}
