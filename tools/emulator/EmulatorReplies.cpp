// The printer's reply formats and the faults that spoil them.
#include <cstdio>

#include "EmulatorInternal.h"

namespace {

std::string Format(const char* format, long value)
{
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool Matches(const EmulatorFaultSpec& fault, const std::string& key)
{
  return fault.query.empty() || fault.query == key;
}

// Uses up one answer of the fault at it.
void UseUp(std::deque<EmulatorFaultSpec>* faults, std::deque<EmulatorFaultSpec>::iterator it)
{
  if (it->count > 0 && --it->count == 0) faults->erase(it);
}

std::string Frame(const std::string& data)
{
  return Format("%08ld", static_cast<long>(data.size())) + data;
}

}  // namespace

std::string TQ58_EmulatorQueryKey(const std::string& command, const std::string& subcommand)
{
  if (command == "STATUS") return "STATUS";
  if ((command == "INFO" || command == "MNT_RD") && !subcommand.empty()) return subcommand;
  return std::string();
}

bool TQ58_EmulatorReplyData(const EmulatedPrinterState& s, const std::string& key, std::string* data)
{
  const auto over = s.replyOverride.find(key);
  if (over != s.replyOverride.end()) {
    *data = over->second;
    return true;
  }
  if (key == "STATUS") *data = Format("%05ld", s.status);
  else if (key == "SERIAL_NUMBER") *data = s.serial + "\r";
  else if (key == "FVER") *data = s.firmware + "\r";
  else if (key == "MEDIA") *data = "00" + std::to_string(s.mediaSize) + "\r";
  else if (key == "MEDIA_CLASS_RFID") *data = Format("%04ld", s.mediaClass) + "\r";
  else if (key == "MQTY_DEFAULT") *data = "0000" + Format("%05ld", s.mediaInitial) + "\r";
  else if (key == "MQTY") *data = "0000" + Format("%05ld", s.mediaRemain) + "\r";
  else if (key == "RQTY") *data = "0000" + Format("%05ld", s.mediaRemainHalf) + "\r";
  else if (key == "COUNTER_LIFE") *data = "00" + Format("%08ld", s.totalCount) + "\r";
  else return false;
  return true;
}

namespace tq58emu {

Answer MakeAnswer(std::deque<EmulatorFaultSpec>* faults, const std::string& key, const std::string& data)
{
  Answer answer;
  answer.bytes = Frame(data);
  auto it = faults->begin();
  while (it != faults->end() && !Matches(*it, key)) ++it;
  if (it == faults->end()) return answer;
  const EmulatorFaultSpec fault = *it;
  UseUp(faults, it);
  switch (fault.kind) {
  case EmulatorFault::NoReply: answer.send = false; break;
  case EmulatorFault::SlowReply: answer.delayMs = fault.delayMs; break;
  case EmulatorFault::LetterInLength: answer.bytes = "0000001A"; break;
  case EmulatorFault::ZeroLength: answer.bytes = "00000000"; break;
  case EmulatorFault::OverlongLength: answer.bytes = "00004089"; break;
  case EmulatorFault::DropConnection: answer.drop = true; break;
  case EmulatorFault::RawReply: answer.bytes = fault.raw; break;
  case EmulatorFault::Unplug:
    answer.send = false;
    answer.unplug = true;
    break;
  case EmulatorFault::UnplugAfterReply: answer.unplug = true; break;
  case EmulatorFault::NoCarriageReturn: {
    std::string bare;
    for (char c : data) {
      if (c != '\r') bare.push_back(c);
    }
    answer.bytes = Frame(bare);
    break;
  }
  }
  return answer;
}

bool TakeUnplugFault(std::deque<EmulatorFaultSpec>* faults, const std::string& key)
{
  for (auto it = faults->begin(); it != faults->end(); ++it) {
    const bool unplug = it->kind == EmulatorFault::Unplug || it->kind == EmulatorFault::UnplugAfterReply;
    if (!unplug || key.empty() || it->query != key) continue;
    UseUp(faults, it);
    return true;
  }
  return false;
}

}  // namespace tq58emu
