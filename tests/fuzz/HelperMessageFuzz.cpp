// Fuzzes the uninstall helper's request parser: the input is parsed as one
// message and read from a pipe the helper's way; what parses must format back
// to the same text, and what is read must be the start of the input.
#include <unistd.h>

#include <string>

#include "FuzzSupport.h"
#include "HelperMessage.h"

namespace {

void CheckRead(const std::string& text)
{
  int fds[2];
  fuzz::Require(pipe(fds) == 0);
  // The limit keeps the whole input within the pipe's buffer.
  const std::string sent = text.substr(0, 2 * kHelperMessageLimit);
  fuzz::Require(write(fds[1], sent.data(), sent.size()) == static_cast<ssize_t>(sent.size()));
  close(fds[1]);
  HelperMessage read;
  if (ReadHelperMessage(fds[0], &read)) {
    const std::string formatted = FormatHelperMessage(read);
    fuzz::Require(sent.compare(0, formatted.size(), formatted) == 0);
  }
  close(fds[0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  const std::string text(reinterpret_cast<const char*>(data), size);
  HelperMessage message;
  if (ParseHelperMessage(text, &message)) {
    fuzz::Require(FormatHelperMessage(message) == text);
    IsHelperReplyTrue(message);
    GetHelperMessageValue(message, "Uninstall");
  } else {
    fuzz::Require(message.entries.empty());
  }
  CheckRead(text);
  return 0;
}
