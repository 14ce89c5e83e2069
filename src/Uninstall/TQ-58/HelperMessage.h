// The one request the uninstaller sends to its root helper and the helper's
// reply: text lines "key=value" ended by one empty line. Anything else (end of
// input before the empty line, a line without '=', a NUL byte, more than
// kHelperMessageLimit bytes) is not a message and is never answered.
#ifndef TQ58_HELPERMESSAGE_H
#define TQ58_HELPERMESSAGE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Longest message, its closing empty line included.
inline constexpr size_t kHelperMessageLimit = 4096;

struct HelperMessage {
  std::vector<std::pair<std::string, std::string>> entries;  // in the order sent
};

// Parses text holding exactly one message (its lines and the closing empty line).
// Returns false, leaving out empty, when text is not one well-formed message.
bool ParseHelperMessage(std::string_view text, HelperMessage* out);

// Reads one message from fd, up to and including its empty line and nothing
// after it; blocks until that line, end of input or a read error. Returns
// false when no well-formed message arrived.
bool ReadHelperMessage(int fd, HelperMessage* out);

// The message as sent: its lines and the closing empty line. Keys and values
// are written as they stand; callers pass no newlines or NUL bytes in them.
std::string FormatHelperMessage(const HelperMessage& message);

// Writes the formatted message to fd; blocks until all of it is written.
// False on a write error (a closed pipe included: callers ignore SIGPIPE).
bool WriteHelperMessage(int fd, const HelperMessage& message);

// The value of key, or nullptr when the message has no such entry.
const std::string* GetHelperMessageValue(const HelperMessage& message, std::string_view key);

// The uninstaller's request: "Uninstall" = "Uninstall".
HelperMessage MakeUninstallRequest();
// The helper's reply: "reply" = "true" or "false".
HelperMessage MakeHelperReply(bool ok);
// True only for a reply whose "reply" is "true"; absent or anything else is false.
bool IsHelperReplyTrue(const HelperMessage& reply);

#endif
