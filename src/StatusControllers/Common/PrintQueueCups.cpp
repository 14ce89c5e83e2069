// The CUPS platform of the queue step: the destinations through cupsEnumDests,
// the printer list through cupsGetDests, lpadmin through posix_spawn.
#include <cups/cups.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

#include "PrintQueue.h"

extern char** environ;

namespace {

// What enum_cb looks for and whether it found it.
struct EnumContext {
  const QueueModel* model;
  const char* serialNo;
  bool found;
};

int enum_cb(void* user_data, unsigned /*flags*/, cups_dest_t* dest)
{
  auto* context = static_cast<EnumContext*>(user_data);
  const char* uri = cupsGetOption("device-uri", dest->num_options, dest->options);
  if (uri != nullptr && IsQueueForSerial(*context->model, uri, context->serialNo)) context->found = true;
  return 1;
}

// posix_spawn attributes for a child: default signal handling, nothing blocked.
void InitChildAttributes(posix_spawnattr_t* attributes)
{
  posix_spawnattr_init(attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(attributes, &all);
  posix_spawnattr_setsigmask(attributes, &none);
  posix_spawnattr_setflags(attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

class CupsQueuePlatform final : public QueuePlatform {
public:
  bool IsQueueRegistered(const QueueModel& model, const char* serialNo) override
  {
    EnumContext context{&model, serialNo, false};
    cupsEnumDests(0, 0, nullptr, 0, 0, enum_cb, &context);
    return context.found;
  }

  bool GetPrinterList(std::vector<QueuePrinter>* printers) override
  {
    printers->clear();
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    // No destination at all is an empty list; a scheduler that did not answer is none.
    if (count == 0 && cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND)
      return false;
    for (int i = 0; i < count; ++i) {
      const char* uri = cupsGetOption("device-uri", dests[i].num_options, dests[i].options);
      printers->push_back(QueuePrinter{dests[i].name, uri != nullptr ? uri : ""});
    }
    cupsFreeDests(count, dests);
    return true;
  }

  int RunCommand(const std::vector<std::string>& argv) override
  {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (std::string& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    InitChildAttributes(&attributes);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

}  // namespace

QueuePlatform* GetCupsQueuePlatform()
{
  static CupsQueuePlatform platform;
  return &platform;
}
