#include "StandardOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const ProgramUsage kUsage{"prog", "Usage: prog\n", {{"--out", 1}, {"--pair", 2}, {"--flag", 0}}, 1, 2};

// Runs the rules on args (after the program name); the arguments found go to *found.
int Handle(std::vector<std::string> args, ProgramArguments* found = nullptr, const ProgramUsage& usage = kUsage)
{
  args.insert(args.begin(), "prog");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return TQ58_HandleStandardOptions(static_cast<int>(args.size()), argv.data(), usage, found);
}

TEST(StandardOptions, OptionsComeFirstAndTakeTheirValues)
{
  ProgramArguments found;
  ASSERT_EQ(Handle({"--flag", "--pair", "a", "-b", "--out", "--x", "op1", "--flag"}, &found), kTQ58RunProgram);
  ASSERT_EQ(found.options.size(), 3u);
  EXPECT_EQ(found.options[1].values, (std::vector<std::string>{"a", "-b"}));
  EXPECT_EQ(found.options[2].values, (std::vector<std::string>{"--x"}));  // a value, whatever it looks like
  // The first operand ends the options: what follows is an operand, even --help.
  EXPECT_EQ(found.operands, (std::vector<std::string>{"op1", "--flag"}));
  EXPECT_TRUE(found.IsOptionGiven("--pair"));
  ASSERT_EQ(Handle({"op1", "--help"}, &found), kTQ58RunProgram);
  EXPECT_EQ(found.operands, (std::vector<std::string>{"op1", "--help"}));
  EXPECT_FALSE(found.IsOptionGiven("--flag"));
}

TEST(StandardOptions, DoubleDashAndALoneDashAreNoOptions)
{
  ProgramArguments found;
  ASSERT_EQ(Handle({"--flag", "--", "--version", "-"}, &found), kTQ58RunProgram);
  EXPECT_EQ(found.operands, (std::vector<std::string>{"--version", "-"}));
  ASSERT_EQ(Handle({"-"}, &found), kTQ58RunProgram);
  EXPECT_EQ(found.operands, (std::vector<std::string>{"-"}));
}

TEST(StandardOptions, WrongUsagesAreRefused)
{
  EXPECT_EQ(Handle({"--bogus", "op1"}), kTQ58UsageExit);
  EXPECT_EQ(Handle({"--out"}), kTQ58UsageExit);           // its value missing
  EXPECT_EQ(Handle({"--pair", "a"}), kTQ58UsageExit);     // one of two values
  EXPECT_EQ(Handle({"--out=x", "op1"}), kTQ58UsageExit);  // no "=" form
  EXPECT_EQ(Handle({}), kTQ58UsageExit);                  // too few operands
  EXPECT_EQ(Handle({"--flag"}), kTQ58UsageExit);
  EXPECT_EQ(Handle({"a", "b", "c"}), kTQ58UsageExit);  // too many
  EXPECT_EQ(Handle({"--", "a", "b", "c"}), kTQ58UsageExit);
  const ProgramUsage any{"prog", "", {}, 0, kAnyOperandCount};
  EXPECT_EQ(Handle({"a", "b", "c", "d"}, nullptr, any), kTQ58RunProgram);
  EXPECT_EQ(Handle({"-x"}, nullptr, any), kTQ58UsageExit);
}

}  // namespace
