#include "StandardOptions.h"

#include <cstdio>
#include <cstring>

// The build passes the package's name and version (the CMake project's).
#ifndef TQ58_PACKAGE_NAME
#error "TQ58_PACKAGE_NAME must be defined by the build"
#endif
#ifndef TQ58_PACKAGE_VERSION
#error "TQ58_PACKAGE_VERSION must be defined by the build"
#endif

namespace {

const char* const kStandardHelp =
    "\n"
    "Standard options:\n"
    "  -h, --help   show this help and exit\n"
    "  --version    show the version and exit\n";

const ProgramOption* FindOption(const ProgramUsage& usage, const char* name)
{
  for (const ProgramOption& option : usage.options) {
    if (std::strcmp(option.name, name) == 0) return &option;
  }
  return nullptr;
}

// "an argument", "2 arguments" or, with a limit, "1 or 2 arguments" and so on.
std::string ExpectedCount(const ProgramUsage& usage)
{
  const int low = usage.minOperands, high = usage.maxOperands;
  const auto count = [](int n) { return n == 1 ? std::string("1 argument") : std::to_string(n) + " arguments"; };
  if (high == kAnyOperandCount) return "at least " + count(low);
  if (low == high) return low == 0 ? std::string("no arguments") : count(low);
  if (low + 1 == high) return std::to_string(low) + " or " + count(high);
  return std::to_string(low) + " to " + count(high);
}

bool IsCountRight(const ProgramUsage& usage, size_t count)
{
  if (count < static_cast<size_t>(usage.minOperands)) return false;
  return usage.maxOperands == kAnyOperandCount || count <= static_cast<size_t>(usage.maxOperands);
}

// An argument as it may stand in a one-line message: control characters as "?".
std::string Printable(const char* text)
{
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

int ShowHelp(const ProgramUsage& usage)
{
  std::fputs(usage.help, stdout);
  std::fputs(kStandardHelp, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int ShowVersion(const ProgramUsage& usage)
{
  std::printf("%s (%s) %s\n", usage.name, TQ58_PACKAGE_NAME, TQ58_PACKAGE_VERSION);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

bool ProgramArguments::IsOptionGiven(const char* name) const
{
  for (const GivenOption& option : options) {
    if (option.name == name) return true;
  }
  return false;
}

int TQ58_HandleStandardOptions(int argc, char** argv, const ProgramUsage& usage, ProgramArguments* arguments)
{
  ProgramArguments parsed;
  int i = 1;
  for (; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--") == 0) {
      ++i;
      break;
    }
    if (arg[0] != '-' || arg[1] == '\0') break;  // the first operand ends the options
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) return ShowHelp(usage);
    if (std::strcmp(arg, "--version") == 0) return ShowVersion(usage);
    const ProgramOption* option = FindOption(usage, arg);
    if (option == nullptr) return TQ58_UsageError(usage, "unknown option " + Printable(arg));
    if (argc - 1 - i < option->valueCount) {
      const std::string values = option->valueCount == 1 ? "a value" : std::to_string(option->valueCount) + " values";
      return TQ58_UsageError(usage, "option " + Printable(arg) + " needs " + values);
    }
    GivenOption given{arg, {}};
    for (int v = 0; v < option->valueCount; ++v) given.values.emplace_back(argv[++i]);
    parsed.options.push_back(std::move(given));
  }
  for (; i < argc; ++i) parsed.operands.emplace_back(argv[i]);
  if (!IsCountRight(usage, parsed.operands.size())) {
    return TQ58_UsageError(usage, "takes " + ExpectedCount(usage) + ", not " + std::to_string(parsed.operands.size()));
  }
  if (arguments != nullptr) *arguments = std::move(parsed);
  return kTQ58RunProgram;
}

int TQ58_UsageError(const ProgramUsage& usage, const std::string& message)
{
  std::fprintf(stderr, "%s: %s (see \"%s --help\" for the usage)\n", usage.name, message.c_str(), usage.name);
  return kTQ58UsageExit;
}
