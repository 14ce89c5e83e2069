#include "DaemonStop.h"

#include <cstdlib>

#include "InstallLayout.h"
#include "ProcessSpawn.h"

namespace {

constexpr const char* kSystemctl = "/bin/systemctl";

}  // namespace

std::vector<std::string> GetDaemonStopCommand()
{
  const char* program = std::getenv("TQ58_SYSTEMCTL");
  if (program == nullptr || program[0] == '\0') program = kSystemctl;
  return {program, "disable", "--now", tq58_layout::kSystemdUnitName};
}

void StopDaemonService()
{
  // The helper's standard output carries its reply: systemctl must not write into it.
  SpawnRequest request;
  request.argv = GetDaemonStopCommand();
  request.in = SpawnStream::Null();
  request.out = SpawnStream::Null();
  TQ58_RunProcess(request);
}
