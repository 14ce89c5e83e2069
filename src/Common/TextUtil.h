// Small text and byte helpers shared by the filter and the daemon.
#ifndef TQ58_TEXTUTIL_H
#define TQ58_TEXTUTIL_H

#include <cstdint>

// Copies n bytes of source to destination and appends a terminating zero.
// destination must hold n + 1 bytes. Returns 0.
int _CutText(char* destination, const char* source, int n);

// atoi of the first n bytes of text; -1 when n is negative, above 511, or text is null.
int _TextToInt(const char* text, int n);

// Store value at p as a little-endian 16-bit or 32-bit integer.
void _StoreLE2(unsigned char* p, uint16_t value);
void _StoreLE4(unsigned char* p, uint32_t value);

#endif
