// The one rule for fixed absolute paths: when TQ58_ROOT is set, every fixed path
// is taken below that folder instead of below "/". Nothing else reads the variable.
#ifndef TQ58_FIXEDPATH_H
#define TQ58_FIXEDPATH_H

#include <cstddef>
#include <string>

#include "InstallLayout.h"

// Folders the system uses, as they stand on an installed system.
inline constexpr const char* kTQ58CacheFolder = tq58_layout::kCacheFolder;
inline constexpr const char* kTQ58ProfileFolder = tq58_layout::kProfileFolder;

// fixedPath (absolute) mapped through TQ58_ROOT.
std::string TQ58_FixedPath(const char* fixedPath);

// The same into a caller's buffer with a terminating zero. Returns 0, or -1 when
// the mapped path does not fit (out then holds an empty text) or fixedPath is null.
int TQ58_FixedPathBuf(const char* fixedPath, char* out, size_t outSize);

#endif
