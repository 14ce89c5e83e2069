// Memory layer of the image library: the handle-based block calls the library
// allocates through, mapped onto the C heap, plus two small arithmetic helpers.
#ifndef TQ58_NVOIMGLIB_LINUXDEF_H
#define TQ58_NVOIMGLIB_LINUXDEF_H

#include <cstddef>
#include <cstdint>

typedef void* HGLOBAL;

// Allocates size bytes from the C heap; flags are ignored. A size of 0 still
// yields a distinct block. Returns null on failure. Does not block.
HGLOBAL GlobalAlloc(unsigned int flags, size_t size);

// Returns the address of the block, which is the handle itself. Does not block.
void* GlobalLock(HGLOBAL handle);

// Does nothing: blocks never move. Does not block.
void GlobalUnlock(void* bits);

// Returns the block to the C heap; null is ignored. Does not block.
void GlobalFree(HGLOBAL handle);

// Copies n bytes from src to dst; overlapping ranges are allowed. Returns dst.
// Does not block.
void* CopyMemory(void* dst, const void* src, size_t n);

// Zero-fills n bytes at p. Returns p. Does not block.
void* ZeroMemory(void* p, size_t n);

// a * b computed in 64 bits, divided by c with truncation toward zero.
// Returns -1 when c is 0 or the quotient does not fit 32 bits. Does not block.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// Test seam: after `count` further successful GlobalAlloc calls on this
// thread, every later call fails until this is called again with a negative
// count (the default, meaning never fail). Does not block.
void SetGlobalAllocFailAfter(long count);

#endif
