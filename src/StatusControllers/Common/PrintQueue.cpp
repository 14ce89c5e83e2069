#include "PrintQueue.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

namespace {

std::mutex gQueueStepLock;  // one queue step at a time, across device threads

bool ContainsNoCase(const std::string& text, const std::string& word)
{
  auto it = std::search(text.begin(), text.end(), word.begin(), word.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  });
  return it != text.end();
}

// The number a queue name stands for: 1 for the base queue, the leading digits
// after the last "_" for a numbered one (0 without digits), -1 for another model's.
int QueueNumber(const QueueModel& model, const std::string& id)
{
  const std::string base = model.baseName;
  if (!ContainsNoCase(id, base)) return -1;
  if (!ContainsNoCase(id, base + "_")) return 1;
  int number = 0;
  for (size_t i = id.rfind('_') + 1; i < id.size() && std::isdigit(static_cast<unsigned char>(id[i])); ++i) {
    if (number > 100000000) break;  // far beyond any real count of queues
    number = number * 10 + (id[i] - '0');
  }
  return number;
}

}  // namespace

bool IsQueueForSerial(const QueueModel& model, const char* uri, const char* serialNo)
{
  if (uri == nullptr || serialNo == nullptr) return false;
  for (const char* word : model.uriWords) {
    if (std::strstr(uri, word) == nullptr) return false;
  }
  const char* serial = std::strstr(uri, "serial=");
  if (serial == nullptr) return false;
  serial += std::strlen("serial=");
  return serial[0] != '\0' && std::strcmp(serial, serialNo) == 0;
}

int ChooseQueueNumber(const QueueModel& model, const std::vector<QueuePrinter>& printers, const char* serialNo)
{
  // A queue is this printer's only when its serial text is this one exactly;
  // one that merely contains it is another printer's and is left alone.
  for (const QueuePrinter& p : printers) {
    if (IsQueueForSerial(model, p.deviceUri.c_str(), serialNo)) return kQueueExists;
  }
  std::vector<int> numbers;
  for (const QueuePrinter& p : printers) {
    const int number = QueueNumber(model, p.id);
    if (number >= 0) numbers.push_back(number);
  }
  if (numbers.empty()) return 0;
  std::sort(numbers.begin(), numbers.end());
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (numbers[i] != static_cast<int>(i + 1)) return static_cast<int>(i + 1);
  }
  return static_cast<int>(numbers.size() + 1);
}

std::vector<std::string> MakeLpadminArgs(const QueueModel& model, int number, const char* serialNo)
{
  std::string name = model.baseName, description = model.description;
  if (number != 0) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "_" + std::string.
    const std::string suffix = std::to_string(number);
    name.append("_").append(suffix);
    description.append(" ").append(suffix);
  }
  // -m: the scheduler takes the PPD from its own model folders, by name.
  return {"lpadmin", "-p",
          name,      "-E",
          "-D",      description,
          "-m",      model.ppdModel,
          "-v",      std::string(model.uriPrefix) + serialNo,
          "-o",      "printer-is-shared=false"};
}

void RunQueueStep(thdata* rec, const QueueModel& model, QueuePlatform* platform)
{
  if (rec == nullptr || platform == nullptr) return;
  std::lock_guard<std::mutex> lock(gQueueStepLock);
  if (platform->IsQueueRegistered(model, rec->serialNo)) {
    rec->queueRegistered = true;
    return;
  }
  std::vector<QueuePrinter> printers;
  if (!platform->GetPrinterList(&printers)) return;
  const int number = ChooseQueueNumber(model, printers, rec->serialNo);
  if (number != kQueueExists) {
    platform->RunCommand(MakeLpadminArgs(model, number, rec->serialNo));
  }
  rec->queueRegistered = true;
}
