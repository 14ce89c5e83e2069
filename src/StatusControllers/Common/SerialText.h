// The serial text: the printer's serial number with every space written as
// "%20". It names the printer's information file and markers in the
// world-writable cache folder, so a serial number from the printer is checked
// before it becomes one.
#ifndef TQ58_SERIALTEXT_H
#define TQ58_SERIALTEXT_H

#include <cstddef>

constexpr size_t kSerialTextSize = 64;  // 63 characters
constexpr size_t kSerialRawSize = 72;   // the raw reply before the spaces are replaced

// True when text may name files in the cache folder: not null, not "." or
// "..", no "/", no control byte (below 0x20, or 0x7F), valid UTF-8.
bool IsSafeSerialText(const char* text);

// Turns a raw serial number into the serial text in out (outSize bytes),
// writing each space as "%20". A text that does not fit is cut before the
// first space or character that would not fit whole; a character cut short at
// the very end of raw (a reply cut to its buffer) is dropped. Returns the
// length of the serial text, or -1 when raw is refused by IsSafeSerialText
// (out then holds the empty text).
long MakeSerialText(const char* raw, char* out, size_t outSize);

#endif
