// The printer information file "<model tag>_<serial text>.log" in the model's
// cache folder (ModelProfile.h):
// sixteen lines in three sections that the status window and the filter read.
// The daemon composes it from the printer's answers in a polling pass and
// leaves an offline version behind when the printer goes away.
#ifndef TQ58_PRINTERINFOFILE_H
#define TQ58_PRINTERINFOFILE_H

#include <cstddef>

#include "SerialText.h"

struct ModelProfile;

constexpr size_t kInfoValueSize = 64;   // a reply value: 63 characters
constexpr size_t kMediaClassSize = 8;   // the media class: 7 characters
constexpr size_t kModelSize = 128;      // the model: 127 characters
constexpr size_t kInfoTextSize = 2048;  // room for the whole file
constexpr int kStatusMissing = 99999;   // the status written when there is none

// The values of one information file. A reply is held as the printer sent it
// (the composer drops its fixed leading characters); an empty text is a query
// that failed, or a count that was not read in this pass.
struct PrinterInfo {
  char model[kModelSize] = {};
  char serialNo[kSerialTextSize] = {};
  int status = kStatusMissing;
  char firmVersion[kInfoValueSize] = {};   // FVER, whole
  char mediaSize[kInfoValueSize] = {};     // MEDIA, from its third character
  char mediaClass[kMediaClassSize] = {};   // MEDIA_CLASS_RFID, whole
  char mediaInitial[kInfoValueSize] = {};  // MQTY_DEFAULT, from its fifth character
  char mediaRemain[kInfoValueSize] = {};   // MQTY, from its fifth character
  char totalCount[kInfoValueSize] = {};    // COUNTER_LIFE, from its third character
};

// Copies value into a field of fieldSize bytes, cut to fieldSize - 1 bytes;
// null gives the empty text. Does not block.
void SetInfoValue(char* field, size_t fieldSize, const char* value);
template <size_t N>
void SetInfoValue(char (&field)[N], const char* value)
{
  SetInfoValue(field, N, value);
}

// Composes the file's text into text (size bytes). Returns its length, or -1
// when it does not fit. Does not block.
int ComposeInfoFile(const PrinterInfo& info, char* text, size_t size);

// The file's path for serialNo into path (size bytes). Returns 0, or -1 when
// serialNo is not a safe serial text or the path does not fit. The names and
// folder are profile's (-1 for one that is not IsUsableModelProfile); the forms without a profile here
// and below use the process's (GetModelProfile). Does not block.
int GetInfoFilePath(const ModelProfile* profile, const char* serialNo, char* path, size_t size);
int GetInfoFilePath(const char* serialNo, char* path, size_t size);

// Writes text as the information file of serialNo (mode 0644: the daemon is
// its only writer), making the cache folders first. The file is replaced whole, never written through a
// link (ReplaceFile.h). Returns 0, or -1 when nothing was written: a null or
// unsafe serial text, or a file system failure. Blocks on the file system.
int WriteInfoFile(const ModelProfile* profile, const char* serialNo, const char* text);
int WriteInfoFile(const char* serialNo, const char* text);

// The offline writer: the file of a printer that went away, with the status
// 99999 and its message and every other value empty. Does nothing for a null
// serial text. Blocks on the file system.
void WriteFile(const ModelProfile* profile, const char* serialNo);
void WriteFile(const char* serialNo);

#endif
