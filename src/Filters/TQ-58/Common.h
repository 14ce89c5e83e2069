// The filter's common module: setting lookup (job option first, PPD default
// second), a minimal PPD reader, values from the key/value files in the cache
// folder, the fixed firmware version, and the queue's device URI.
#ifndef TQ58_FILTER_COMMON_H
#define TQ58_FILTER_COMMON_H

#include <cups/cups.h>

#include <cstddef>
#include <cstdio>

#include "TextUtil.h"

constexpr size_t kPpdValueSize = 256;
constexpr int kInfoLineMax = 255;            // longest line of a PPD or information file
constexpr size_t kMaxInfoFileBytes = 16384;  // largest job or printer information file read

// The PPD handle: the PPD opened as plain text, and the buffer that holds the
// last default value found. A returned value stays valid until the next lookup.
struct ppdfile_s {
  FILE* file;
  char value[kPpdValueSize];
};

// Job option key; for "PageSize" alone the job option "media" when absent;
// otherwise the PPD default. Null when none has it. Does not block.
const char* _GetCupsValue(const char* key, int num_options, cups_option_t* options, ppdfile_s* ppd);

// A zero-filled handle for path (also when the file cannot be opened: its
// stream is then null and every lookup finds nothing). Null for a null path.
ppdfile_s* wrappedPpdOpenFile(const char* path);

// Closes the stream and frees the handle; a null handle is ignored.
void wrappedPpdClose(ppdfile_s* ppd);

// The default choice of option key: the first word after "*Default<key>: " on the
// first line that begins so. Lines longer than 255 characters are skipped whole.
// Reads the file (blocks on file I/O only).
const char* wrappedPpdFindDefChoice(ppdfile_s* ppd, const char* key);

// Writes the firmware version used by the firmware gates (1.53); 3 for null.
int _GetFirmwVersion(int unused, double* version);

// Value of key in the cache folder's job information file Print_<jobId>.log.
// out is left unchanged when nothing is found or the value does not fit. Only
// a regular file of at most kMaxInfoFileBytes bytes is read; a link, fifo, device
// or larger file there counts as no file. Returns 0. Does not block.
int _GetValuePrInfoFile(const char* key, const char* jobId, char* out, size_t outSize);

// Value of key in the printer information file of a CUPS queue:
// <model>_<serial>.log when the device URI carries "serial=", else <model>.log,
// read as the job information file is. -1 when the queue or its device URI is
// not found, else 0. Asks the scheduler (blocks).
int _GetValuePrinterInfoFile(const char* queue, const char* key, const char* model, char* out, size_t outSize);

// Copies the queue's "device-uri" into out (the caller passes a zeroed buffer).
// 0 found and fitted, -1 otherwise. Asks the scheduler (blocks).
int _GetCupsDeviceURI(const char* queue, char* out, size_t outSize);

#endif
