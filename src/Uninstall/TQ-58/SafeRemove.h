// Removal of installed paths by a root process. A symbolic link is never
// followed out of the paths being removed: a link at a path, or anywhere in a
// folder being emptied, is removed itself. On the way to a path, a link is
// followed only when root alone could have placed it (root owns it and its
// folder, which nobody else may write), as for "/lib" on a merged-/usr system.
// Every function here blocks on the file system.
#ifndef TQ58_SAFEREMOVE_H
#define TQ58_SAFEREMOVE_H

#include <string>

// Removes what is at path (an absolute path), a folder with all its contents
// however deep, holding a bounded number of descriptors. An entry that cannot
// be removed is passed over and the rest removed. True when nothing is left
// there: removed, or nothing was there. False when something stays: an entry
// could not be removed, the way to path passes a link root did not place, or a
// folder lies on another file system.
bool deleteFiles(const std::string& path);

// True when something is at path, a dangling link included. When the way to
// path cannot be walked safely the answer is also true: the caller keeps what
// depends on it.
bool IsPathPresent(const std::string& path);

// Removes the folder at path only when it has no entries; a link or a file
// there stays. True when the folder was removed.
bool RemoveFolderIfEmpty(const std::string& path);

#endif
