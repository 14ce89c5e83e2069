// The child environment and the temporary folder: what every program-running
// test relies on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Process.h"
#include "TempDir.h"

namespace {

// The lines of env's output (the environment exactly as the child got it) that set name.
std::vector<std::string> GetEntries(const std::string& envOutput, const std::string& name)
{
  std::vector<std::string> found;
  std::istringstream lines(envOutput);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + "=", 0) == 0) found.push_back(line);
  }
  return found;
}

TEST(ChildEnvironmentTest, AGivenVariableReplacesTheInheritedOneAndTheRestIsKept)
{
  setenv("TQ58_TEST_GIVEN", "inherited", 1);
  setenv("TQ58_TEST_KEPT", "kept", 1);
  const ProcessResult r = RunProcess({"env"}, "", {"TQ58_TEST_GIVEN=given", "TQ58_TEST_NEW=a=b", "TQ58_TEST_KEP=x"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  // One entry each: a C program's getenv takes the first of two, so a given value must not follow an inherited one.
  EXPECT_EQ(GetEntries(r.out, "TQ58_TEST_GIVEN"), std::vector<std::string>{"TQ58_TEST_GIVEN=given"});
  EXPECT_EQ(GetEntries(r.out, "TQ58_TEST_NEW"), std::vector<std::string>{"TQ58_TEST_NEW=a=b"});
  // A name that only starts like an inherited one replaces nothing.
  EXPECT_EQ(GetEntries(r.out, "TQ58_TEST_KEPT"), std::vector<std::string>{"TQ58_TEST_KEPT=kept"});
  EXPECT_EQ(GetEntries(r.out, "TQ58_TEST_KEP"), std::vector<std::string>{"TQ58_TEST_KEP=x"});
  unsetenv("TQ58_TEST_GIVEN");
  unsetenv("TQ58_TEST_KEPT");
}

TEST(TempDirTest, FoldersAreDistinctAndGoWithTheirContentsButNotThroughALink)
{
  TempDir outside("tq58-outside");
  const std::string target = outside.GetPath() + "/target";
  std::ofstream(target) << "stays";
  std::string path;
  {
    const TempDir a("tq58-test"), b("tq58-test");
    path = a.GetPath();
    EXPECT_NE(a.GetPath(), b.GetPath());
    EXPECT_EQ(path.rfind("/tmp/tq58-test-", 0), 0u);
    std::filesystem::create_directories(path + "/sub/deeper");
    std::ofstream(path + "/sub/deeper/file") << "x";
    ASSERT_EQ(symlink(outside.GetPath().c_str(), (path + "/link").c_str()), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  std::ifstream in(target);
  std::string text;
  in >> text;
  EXPECT_EQ(text, "stays");
}

TEST(TempDirTest, AFolderThatCannotBeMadeIsAnError)
{
  EXPECT_THROW(TempDir("tq58-test", "/nonexistent-tq58"), std::runtime_error);
}

}  // namespace
