// Well-formed UTF-8: no overlong forms, no surrogates (U+D800..U+DFFF),
// nothing above U+10FFFF, no sequence cut short.
#ifndef TQ58_UTF8TEXT_H
#define TQ58_UTF8TEXT_H

#include <cstddef>
#include <string_view>

// The length (1 to 4) of the well-formed UTF-8 sequence that starts at p and
// takes at most left bytes, or 0 when there is none (left 0 included). Does not block.
size_t TQ58_GetUtf8SequenceLength(const unsigned char* p, size_t left);

// True when bytes are well-formed UTF-8 throughout. Does not block.
bool TQ58_IsValidUtf8(std::string_view bytes);

#endif
