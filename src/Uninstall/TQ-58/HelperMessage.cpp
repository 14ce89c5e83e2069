#include "HelperMessage.h"

#include <unistd.h>

#include <cerrno>

namespace {

// Where the closing empty line ends (one past its newline) in text, or npos.
size_t FindMessageEnd(std::string_view text)
{
  if (!text.empty() && text[0] == '\n') return 1;
  const size_t pos = text.find("\n\n");
  return pos == std::string_view::npos ? pos : pos + 2;
}

}  // namespace

bool ParseHelperMessage(std::string_view text, HelperMessage* out)
{
  out->entries.clear();
  if (text.size() > kHelperMessageLimit) return false;
  if (text.find('\0') != std::string_view::npos) return false;
  if (FindMessageEnd(text) != text.size()) return false;
  HelperMessage parsed;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) break;  // the closing line: FindMessageEnd made it the last
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    parsed.entries.emplace_back(std::string(line.substr(0, eq)), std::string(line.substr(eq + 1)));
  }
  *out = std::move(parsed);
  return true;
}

bool ReadHelperMessage(int fd, HelperMessage* out)
{
  out->entries.clear();
  std::string text;
  // One byte at a time: nothing after the empty line is consumed.
  while (FindMessageEnd(text) == std::string::npos) {
    if (text.size() >= kHelperMessageLimit) return false;
    char c;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.push_back(c);
  }
  return ParseHelperMessage(text, out);
}

std::string FormatHelperMessage(const HelperMessage& message)
{
  std::string text;
  for (const auto& [key, value] : message.entries) {
    text += key;
    text += '=';
    text += value;
    text += '\n';
  }
  text += '\n';
  return text;
}

bool WriteHelperMessage(int fd, const HelperMessage& message)
{
  const std::string text = FormatHelperMessage(message);
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

const std::string* GetHelperMessageValue(const HelperMessage& message, std::string_view key)
{
  for (const auto& entry : message.entries) {
    if (entry.first == key) return &entry.second;
  }
  return nullptr;
}

HelperMessage MakeUninstallRequest()
{
  return HelperMessage{{{"Uninstall", "Uninstall"}}};
}

HelperMessage MakeHelperReply(bool ok)
{
  return HelperMessage{{{"reply", ok ? "true" : "false"}}};
}

bool IsHelperReplyTrue(const HelperMessage& reply)
{
  const std::string* value = GetHelperMessageValue(reply, "reply");
  return value != nullptr && *value == "true";
}
