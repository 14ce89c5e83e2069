// The queue step: makes sure a CUPS print queue points at a printer. A queue
// points at it when its device URI names the driver's backend with the
// printer's serial text. A missing queue is created with lpadmin under the
// base name, or under the lowest free number when other queues of the model
// exist. The step of one printer runs alone: two printers registering at the
// same time get two names.
#ifndef TQ58_PRINTQUEUE_H
#define TQ58_PRINTQUEUE_H

#include <string>
#include <vector>

#include "DeviceRecord.h"
#include "QueueModel.h"

// One printer of the local server's printer list.
struct QueuePrinter {
  std::string id;         // the queue name
  std::string deviceUri;  // empty when it has none
};

// The platform under the step: the scheduler's destinations and printer
// list, and the command runner. The CUPS one is GetCupsQueuePlatform().
class QueuePlatform {
public:
  virtual ~QueuePlatform() = default;
  // Whether a destination's device URI points at the printer of serialNo
  // (IsQueueForSerial). False also when the scheduler cannot be asked. Blocks.
  virtual bool IsQueueRegistered(const QueueModel& model, const char* serialNo) = 0;
  // The local printers in the scheduler's order. False when there is no list. Blocks.
  virtual bool GetPrinterList(std::vector<QueuePrinter>* printers) = 0;
  // Runs argv[0] (looked up in PATH) with argv, never through a shell, and
  // waits for it. Returns its exit status, or -1. Blocks.
  virtual int RunCommand(const std::vector<std::string>& argv) = 0;
};

// The CUPS platform (cupsEnumDests, cupsGetDests, posix_spawn). Shared, thread-safe.
QueuePlatform* GetCupsQueuePlatform();

// Whether uri holds every word of the model and "serial=", with at least one
// character after its first "serial=" and all of that rest equal to serialNo.
bool IsQueueForSerial(const QueueModel& model, const char* uri, const char* serialNo);

// ChooseQueueNumber's answer when a queue among printers already points at
// serialNo (IsQueueForSerial): nothing is to be made.
inline constexpr int kQueueExists = -1;

// The queue to create for serialNo among printers: 0 for the base queue, else
// the number N of the queue baseName_N, or kQueueExists. A queue of another
// printer is never chosen, whatever its URI holds. Does not block.
int ChooseQueueNumber(const QueueModel& model, const std::vector<QueuePrinter>& printers, const char* serialNo);

// The lpadmin argument vector for queue number (0: base) of serialNo, with
// the model's PPD by its model name. The serial text stays one argument
// whatever it holds.
std::vector<std::string> MakeLpadminArgs(const QueueModel& model, int number, const char* serialNo);

// The queue step of rec: sets rec->queueRegistered when a queue exists or was
// created (whatever lpadmin's exit status); leaves it clear when the printer
// list could not be had. Runs one printer's step at a time. Blocks.
void RunQueueStep(thdata* rec, const QueueModel& model, QueuePlatform* platform);

#endif
