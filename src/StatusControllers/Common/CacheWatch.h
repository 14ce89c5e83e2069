// The watch of the cache folder: one thread blocked on inotify that tells the
// device threads when a file was made or renamed there (a marker of the
// status window, the filter or the backend). A device thread whose printer
// needs nothing waits for that instead of looking every second, so an idle
// daemon costs nothing and a marker is still answered at once. Without
// inotify, or while the folder is not watched, the passes keep their interval.
#ifndef TQ58_CACHEWATCH_H
#define TQ58_CACHEWATCH_H

#include <cstdint>

// Starts the watch of folder (a fixed path, mapped by TQ58_FixedPath) on a
// thread of its own; false when it could not start (the passes keep their
// interval). One watch at a time. Does not block.
bool StartCacheWatch(const char* folder);

// Ends the watch and joins its thread. Blocks until it ends.
void StopCacheWatch();

// True while the folder is watched: a change there is told at once.
// Does not block.
bool IsCacheWatchActive();

// The number of changes seen so far; a device thread notes it before its pass
// and waits for a greater one (WaitForStopOrChange). Takes m.
uint64_t GetCacheChanges();

// Counts one change and wakes every waiting device thread. Takes m.
void NotifyCacheChange();

#endif
