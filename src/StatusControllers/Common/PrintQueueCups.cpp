// The CUPS platform of the queue step: the destinations through cupsEnumDests,
// the printer list through cupsGetDests, lpadmin as a child process.
#include <cups/cups.h>

#include "PrintQueue.h"
#include "ProcessSpawn.h"

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

  // lpadmin is looked up in PATH and reads nothing: standard input is /dev/null.
  int RunCommand(const std::vector<std::string>& argv) override
  {
    SpawnRequest request;
    request.argv = argv;
    request.searchPath = true;
    request.in = SpawnStream::Null();
    return TQ58_RunProcess(request);
  }
};

}  // namespace

QueuePlatform* GetCupsQueuePlatform()
{
  static CupsQueuePlatform platform;
  return &platform;
}
