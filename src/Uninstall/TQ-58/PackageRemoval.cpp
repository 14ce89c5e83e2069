#include "PackageRemoval.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string_view>

#include "FixedPath.h"
#include "InstallLayout.h"
#include "ProcessSpawn.h"

namespace tl = tq58_layout;

namespace {

// The package that holds the driver itself; the others come with it.
constexpr const char* kDriverPackage = "printer-driver-tq58";

// dpkg-query's answer is a line per package; anything longer is not its answer.
constexpr size_t kQueryOutputLimit = 4096;

// True when nothing at all (not even a link) is at the layout path. Blocks
// on the file system.
bool IsAbsent(const char* fixedPath)
{
  struct stat st;
  return lstat(TQ58_FixedPath(fixedPath).c_str(), &st) != 0 && errno == ENOENT;
}

bool IsStatusWord(std::string_view status)
{
  return !status.empty() &&
         std::all_of(status.begin(), status.end(), [](char c) { return (c >= 'a' && c <= 'z') || c == '-'; });
}

// What output says of each package of ours, in layout order.
enum class Answer { kNone, kNotInstalled, kPresent };

// The index in kPackages of the package a line answers for (set *answer), or
// -1 when the line is not a well-formed answer about one of ours.
int GetLineAnswer(std::string_view line, Answer* answer)
{
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return -1;
  const std::string_view name = line.substr(0, tab);
  const std::string_view status = line.substr(tab + 1);
  if (!IsStatusWord(status)) return -1;
  for (size_t i = 0; i < std::size(tl::kPackages); ++i) {
    if (name == tl::kPackages[i]) {
      *answer = status == "not-installed" ? Answer::kNotInstalled : Answer::kPresent;
      return static_cast<int>(i);
    }
  }
  return -1;
}

// A package listed more than once (once per architecture) is present when
// any of its lines says so.
std::vector<Answer> GetAnswers(std::string_view output)
{
  std::vector<Answer> answers(std::size(tl::kPackages), Answer::kNone);
  for (size_t end; (end = output.find('\n')) != std::string_view::npos; output.remove_prefix(end + 1)) {
    Answer answer = Answer::kNone;
    const int index = GetLineAnswer(output.substr(0, end), &answer);
    if (index >= 0) answers[static_cast<size_t>(index)] = std::max(answers[static_cast<size_t>(index)], answer);
  }
  return answers;
}

// Ours in any state but "not-installed", in layout order.
std::vector<std::string> GetPresentPackages(std::string_view output)
{
  const std::vector<Answer> answers = GetAnswers(output);
  std::vector<std::string> packages;
  for (size_t i = 0; i < answers.size(); ++i) {
    if (answers[i] == Answer::kPresent) packages.emplace_back(tl::kPackages[i]);
  }
  return packages;
}

// No input, no output but the answer, no descriptor of the helper's, only the
// clean environment.
SpawnRequest GetQueryRequest()
{
  SpawnRequest request;
  request.argv = GetPackageQueryCommand();
  request.environment = GetPackageRemovalEnvironment();
  request.in = SpawnStream::Null();
  request.err = SpawnStream::Null();
  request.closeOtherFds = true;
  return request;
}

// Standard input from /dev/null; standard output joins standard error (or
// /dev/null when the helper has none); no other descriptor of the helper's;
// only the given environment.
SpawnRequest GetRemovalRequest(const PackageStates& states)
{
  SpawnRequest request;
  request.argv = GetPackageRemovalCommand(states);
  request.environment = GetPackageRemovalEnvironment();
  request.in = SpawnStream::Null();
  if (fcntl(STDERR_FILENO, F_GETFD) >= 0) {
    request.out = SpawnStream::Fd(STDERR_FILENO);
  } else {
    request.out = SpawnStream::Null();
    request.err = SpawnStream::Null();
  }
  request.closeOtherFds = true;
  return request;
}

}  // namespace

std::vector<std::string> GetPackageQueryCommand()
{
  std::vector<std::string> command = {TQ58_FixedPath(tl::kDpkgQuery), "-W", "-f", "${Package}\t${db:Status-Status}\n"};
  for (const char* package : tl::kPackages) command.emplace_back(package);
  return command;
}

PackageStates GetPackageStates()
{
  PackageStates states;
  CapturedOutput captured;
  if (!TQ58_CaptureProcess(GetQueryRequest(), kQueryOutputLimit, &captured)) {
    // Without dpkg the files cannot be dpkg's; with dpkg but no working
    // dpkg-query they may be, and there is no telling.
    states.isKnown = IsAbsent(tl::kDpkgQuery) && IsAbsent(tl::kDpkg);
    return states;
  }
  // Status 1: some of the packages are unknown to dpkg; the others are still
  // listed. Status 0 says every one was found, so each must have its line.
  const ProcessEnd& end = captured.end;
  if (captured.overflowed || !end.exited || end.exitCode > 1) return states;
  if (end.exitCode == 0) {
    const std::vector<Answer> answers = GetAnswers(captured.text);
    if (std::find(answers.begin(), answers.end(), Answer::kNone) != answers.end()) return states;
  }
  states.isKnown = true;
  states.present = GetPresentPackages(captured.text);
  return states;
}

bool IsDriverPackaged(const PackageStates& states)
{
  return std::find(states.present.begin(), states.present.end(), kDriverPackage) != states.present.end();
}

std::vector<std::string> GetPackageRemovalCommand(const PackageStates& states)
{
  std::vector<std::string> command = {TQ58_FixedPath(tl::kDpkg), "--purge"};
  command.insert(command.end(), states.present.begin(), states.present.end());
  return command;
}

std::vector<std::string> GetPackageRemovalEnvironment()
{
  return {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "DEBIAN_FRONTEND=noninteractive", "LANG=C"};
}

bool RemovePackages(const PackageStates& states)
{
  if (states.present.empty()) return false;  // nothing of ours to purge after all
  return TQ58_RunProcess(GetRemovalRequest(states)) == 0;
}
