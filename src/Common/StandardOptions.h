// The command line rules that every program a person may start shares:
// --help (or -h) and --version answer on standard output with exit status 0;
// a wrong usage (an unknown option, an option without its values, a wrong
// number of arguments) gets one line on standard error and exit status 2.
// Both happen before the program starts anything (no window, no folder, no
// device). Options come first: the first argument that is not an option, or
// "--", ends them, so that a later argument (a serial text, a printer or queue
// name) is never taken for one; a lone "-" is an argument.
#ifndef TQ58_STANDARDOPTIONS_H
#define TQ58_STANDARDOPTIONS_H

#include <string>
#include <vector>

// One option of a program besides --help and --version.
struct ProgramOption {
  const char* name;    // "--out"
  int valueCount = 0;  // arguments that belong to it: 0 for a flag
};

inline constexpr int kAnyOperandCount = -1;

// What a program takes and what --help says about it.
struct ProgramUsage {
  const char* name = "";  // in messages and in the version line
  const char* help = "";  // the --help text, from its "Usage:" line on
  std::vector<ProgramOption> options;
  int minOperands = 0;
  int maxOperands = 0;  // or kAnyOperandCount
};

// An option as it was given, with its values.
struct GivenOption {
  std::string name;
  std::vector<std::string> values;
};

// The command line after the standard rules.
struct ProgramArguments {
  std::vector<GivenOption> options;   // in command-line order
  std::vector<std::string> operands;  // the arguments that are not options

  bool IsOptionGiven(const char* name) const;
};

// TQ58_HandleStandardOptions's answer when the program goes on with its run.
inline constexpr int kTQ58RunProgram = -1;
// The exit status of a wrong usage.
inline constexpr int kTQ58UsageExit = 2;

// Reads argv by the rules above into *arguments (which may be null). Returns
// kTQ58RunProgram when the program goes on, else the exit status to return at
// once, the text already written. Blocks only on writing that text.
int TQ58_HandleStandardOptions(int argc, char** argv, const ProgramUsage& usage, ProgramArguments* arguments);

// A wrong usage found by the program itself: writes "NAME: message (see
// "NAME --help" for the usage)" as one line on standard error and returns
// kTQ58UsageExit.
// Blocks only on writing the line.
int TQ58_UsageError(const ProgramUsage& usage, const std::string& message);

#endif
