// The files in the model's cache folder that the programs share:
// their names and paths, and the one way to read them. Each reader keeps its
// own small parser of the text read.
//
//   Print_<job id>.log      job information file: the backend writes it, the filter reads it
//   <model>_<serial>.log    printer information file: the daemon writes it, the
//                           filter, the backend and the status window read it
//
// Every user may put files into the cache folder, so a name is read only as
// a regular file in that folder: never through a link, never waiting on a
// fifo or device, never more than a given size (SafeRead.h). The writer is
// ReplaceFile.h.
#ifndef TQ58_CACHEFILES_H
#define TQ58_CACHEFILES_H

#include <cstddef>
#include <string>

#include "SafeRead.h"

// True when text may be put into a cache file name and the name stays in the
// folder: not null, no "/", not "." or "..". Does not block.
bool TQ58_IsCacheNamePart(const char* text);

// "Print_" + jobId + ".log"; empty when jobId is not a cache name part. Does not block.
std::string TQ58_GetJobInfoFileName(const char* jobId);

// model + "_" + serialText + ".log", or model + ".log" for an empty or null
// serialText; empty when either is not a cache name part. Does not block.
std::string TQ58_GetPrinterInfoFileName(const char* model, const char* serialText);

// model + "_" + serialText + ".log": the name the status daemon writes and
// the status window reads (an empty serialText gives model + "_.log"); empty
// when either is not a cache name part. Does not block.
std::string TQ58_GetModelInfoFileName(const char* model, const char* serialText);

// The process's model's cache folder (GetModelProfile), or the layout's
// kTQ58CacheFolder while no profile is set, through TQ58_FixedPath. Does not block.
std::string TQ58_GetCacheFolder();

// TQ58_GetCacheFolder() + "/" + name. Does not block.
std::string TQ58_GetCacheFilePath(const std::string& name);

// Reads the file name in the cache folder by rule (SafeRead.h) into *out;
// *cut (may be null) as TQ58_ReadSmallFileAt. False, with *out empty, when
// the folder or the file cannot be read by that rule. Does not block.
bool TQ58_ReadCacheFile(const std::string& name, const SmallFileRule& rule, std::string* out, bool* cut);

#endif
