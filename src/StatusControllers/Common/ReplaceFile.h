// Writing a file in a folder that anyone may write to, as root, safely: the
// text goes to a new temporary file in the same folder (created exclusively,
// never through a link), gets its mode, and is renamed over the target. A
// symbolic or hard link planted at the target's name is replaced, never
// followed, and a reader sees the old file or the whole new one.
#ifndef TQ58_REPLACEFILE_H
#define TQ58_REPLACEFILE_H

#include <sys/types.h>

#include <cstddef>

// Replaces folder/name with size bytes of data and mode. The folder itself
// must not be a symbolic link; name must be a plain file name. Returns 0, or
// -1 when nothing was replaced (the old file then stays as it was). Blocks on
// the file system only.
int TQ58_ReplaceFile(const char* folder, const char* name, const char* data, size_t size, mode_t mode);

#endif
