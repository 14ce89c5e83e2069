// The cache folders shared by the daemon, the backend and the status window.
//
// Both folders are world-writable with the sticky bit: every user may make
// files there (the status window's markers), nobody may remove or rename
// another user's. A folder is trusted when it is a real directory owned by
// root or by the calling process's effective user; only the latter is given
// the mode, also when it already exists. Anything else in a folder's place (a
// link, a file, another user's directory) is renamed aside by root to a
// hidden name beside it, never followed or deleted, and the folder made anew;
// a process that is not root leaves it where it is and does not use it.
#ifndef TQ58_CACHEFOLDER_H
#define TQ58_CACHEFOLDER_H

#include <sys/types.h>

#include "InstallLayout.h"

// The maker's folder, parent of every model's cache folder.
inline constexpr const char* kTQ58MakerCacheFolder = tq58_layout::kMakerCacheFolder;

// The mode of both folders: everyone may write, only owners remove or rename.
inline constexpr mode_t kCacheFolderMode = 01777;

// Makes sure the maker's folder and the model's cache folder
// (GetModelCacheFolder) exist and are trusted,
// by the rule above. The cache folder is not attempted when the maker's
// folder is not usable. Failures are passed over. Blocks on the file system only.
void CheckAndMake_CacheFolder();
// The same for a model's cache folder (a fixed path right below the maker's
// folder; any other path is not made). Blocks on the file system only.
void CheckAndMake_CacheFolder(const char* cacheFolder);

// The same for the cache folder alone, below a usable maker's folder. Called
// by CheckAndMake_CacheFolder. Blocks on the file system only.
void CheckAndMake_CacheSubFolder();
void CheckAndMake_CacheSubFolder(const char* cacheFolder);

#endif
