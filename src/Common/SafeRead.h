// Reads small regular files whose path or name someone else may control (the
// cache folder is writable by every user; an option may name any path) without
// ever waiting on what stands there: the last path component is never
// followed, a fifo, device, socket or directory is refused (before it is opened
// where possible, and again on the opened descriptor), and no more than a given
// number of bytes is read. None of these functions blocks beyond ordinary
// reads of a regular file.
#ifndef TQ58_SAFEREAD_H
#define TQ58_SAFEREAD_H

#include <cstddef>
#include <string>

// Opens the folder at path (O_DIRECTORY, the last component not followed,
// close-on-exec). The descriptor, or -1 when it is not a real folder. Does not block.
int TQ58_OpenFolder(const char* path);

// The whole contents of the regular file name in the folder open as folderFd
// (AT_FDCWD: name is a path of its own) into *out. False, with *out empty, when
// there is nothing at that name, it is a link, fifo, device, socket or folder,
// it holds more than maxBytes bytes, or it cannot be read. Does not block.
bool TQ58_GetSmallFileAt(int folderFd, const char* name, size_t maxBytes, std::string* out);

// TQ58_GetSmallFileAt for a file that only the driver's own privileged
// programs write into a folder every user may write to: the file must also be
// owned by root or by the caller's effective user, or it counts as no file, so
// that no other user can plant it. Does not block.
bool TQ58_GetTrustedSmallFileAt(int folderFd, const char* name, size_t maxBytes, std::string* out);

// TQ58_GetSmallFileAt for a path of its own. Does not block.
bool TQ58_GetSmallFile(const char* path, size_t maxBytes, std::string* out);

// How TQ58_ReadSmallFileAt takes a file.
struct SmallFileRule {
  size_t maxBytes = 0;
  bool trustedOnly = false;  // owned by root or the effective user, as TQ58_GetTrustedSmallFileAt
  bool keepHead = false;     // a longer file gives its first maxBytes bytes instead of nothing
};

// The one reader behind the functions above, by rule. *cut (may be null) tells
// whether a file kept by its head went on past maxBytes. Does not block.
bool TQ58_ReadSmallFileAt(int folderFd, const char* name, const SmallFileRule& rule, std::string* out, bool* cut);

#endif
