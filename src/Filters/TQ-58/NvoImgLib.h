// Image library: bitmap records, cubic resampling, palette tone tables,
// saturation, sharpening and colour-plane separation and merging.
//
// All operations work on caller-provided records, are single-threaded,
// never block and return IL_SUCCESS (1) or a negative code. A failing
// operation leaves its records as they were unless its comment says otherwise.
#ifndef TQ58_NVOIMGLIB_H
#define TQ58_NVOIMGLIB_H

#include <cstddef>
#include <cstdint>

// One bitmap. Rows are bytesPerLine apart; 24-bit pixels are three bytes,
// 8-bit pixels index a palette of 4-byte entries (bytes 0..2 used).
struct _tagBITMAPHANDLE {
  void* memoryHandle;      // owned block from GlobalAlloc, null when the pixels are foreign
  unsigned char* bits;     // first stored row
  int32_t width;           // pixels per row
  int32_t height;          // rows
  int32_t bitsPerPixel;    // 24 or 8
  uint32_t bytesPerLine;   // ((bitsPerPixel * width + 31) / 32) * 4
  uint32_t paletteSize;    // 256 for 8 bits, 0 for 24 bits
  unsigned char* palette;  // 8 bits: paletteSize entries of 4 bytes
  uint32_t layoutCode;     // always 4
  uint32_t colorOrder;     // 24 bits: 0 or 1, see IL_ColorSeparateBitmap; 8 bits: 0
  uint64_t dataSize;       // bytesPerLine * height
};

constexpr int IL_SUCCESS = 1;
constexpr int IL_ERR_NO_MEMORY = -1;
constexpr int IL_ERR_NO_BITMAP = -2;
constexpr int IL_ERR_INVALID_PARAMETER = -13;
constexpr int IL_ERR_UNSUPPORTED_FORMAT = -27;
constexpr int IL_ERR_STRUCT_SIZE = -789;
constexpr int IL_ERR_UNSUPPORTED_DEPTH = -804;
constexpr int IL_ERR_NULL_HANDLE = -814;

// ---- Records, copying and resampling ----

// Wraps caller memory `data` (dataSize bytes) as a bitmap record; allocates
// nothing, and the record does not own the pixels. memoryKind must be 2 and
// layoutCode 4. For 8 bits colorOrder must be 2 and palette set; for 24 bits
// palette must be null and colorOrder 2 is stored as 1. Fields not set here
// keep their old contents. Does not block.
int IL_CreateBitmap(_tagBITMAPHANDLE* bitmap, int structSize, int memoryKind, unsigned int width, unsigned int height,
                    int bitsPerPixel, unsigned int colorOrder, unsigned char* palette, int layoutCode, void* data,
                    size_t dataSize);

// Releases the pixels if the record owns them and clears bits and palette
// (and memoryHandle). Null and empty records are ignored. Does not block.
void IL_FreeBitmap(_tagBITMAPHANDLE* bitmap);

// Copies the palette and pixels of one 24-bit bitmap into another; bitmaps of
// different size are aligned at the top-left corner of the picture (rows are
// bottom-up) and only the overlap is copied. Does not block.
int IL_CopyBitmapData(_tagBITMAPHANDLE* dst, _tagBITMAPHANDLE* src);

// Resamples a 24-bit bitmap in place to newWidth x newHeight by separable
// cubic convolution (a = -1) in double precision; mode must be 4. On success
// the record owns a new block and releases its old one if it owned it.
// Does not block.
int IL_SizeBitmap(_tagBITMAPHANDLE* bitmap, int newWidth, int newHeight, int mode);

// ---- Tone operations ----

// Applies a gamma (in hundredths, 100 neutral, above 100 lightens) to bytes
// 0..2 of every entry of an 8-bit bitmap's 256-entry palette. Does not block.
int IL_GammaCorrectBitmap(_tagBITMAPHANDLE* plane, unsigned int gamma);

// Shifts bytes 0..2 of every palette entry by a brightness step derived from
// level (-1000..1000, 0 neutral), clamped to 0..255. Does not block.
int IL_ChangeBitmapIntensity(_tagBITMAPHANDLE* plane, int level);

// Scales bytes 0..2 of every palette entry about the value 64 by
// exp(level * 0.0007) (level -1000..1000), clamped to 0..255. Does not block.
int IL_ChangeBitmapContrast(_tagBITMAPHANDLE* plane, int level);

// Replaces bytes 0..2 of the first paletteSize palette entries by table[byte].
// A null bitmap, palette or table is ignored. Does not block.
void ConvertLUT8(_tagBITMAPHANDLE* bitmap, const unsigned char* table);

// Converts a pixel to hue (degrees, -1 for grey), chroma (max - min) and
// lightness ((max + min) / 2). Does not block.
void RGBtoHSL(int r, int g, int b, double* hue, double* chroma, double* lightness);

// Converts hue, chroma and lightness back to a pixel, truncating each
// channel. Does not block.
void HSLtoRGB(unsigned char* r, unsigned char* g, unsigned char* b, double hue, double chroma, double lightness);

// Scales the chroma of every pixel of a 24-bit bitmap by (1 + level / 1000),
// level -1000..1000, keeping hue and lightness; in place. Level 0 still
// applies the round trip's truncation. Does not block.
int IL_ChangeBitmapSaturation(_tagBITMAPHANDLE* bitmap, int level);

// ---- Sharpening and planes ----

// Sharpens (level > 0) or softens (level < 0) a 24-bit bitmap in place with
// a 3 x 3 kernel; level -1000..1000, 0 leaves it unchanged. Does not block.
int IL_SharpenBitmap(_tagBITMAPHANDLE* bitmap, int level);

// Splits a 24-bit bitmap into three 8-bit planes with grey palettes; plane k
// holds byte k of each pixel for colorOrder 1 and byte 2 - k for colorOrder 0.
// The three records must be empty: they are overwritten, each owning one block
// (pixels followed by the palette). flags must be 0. Does not block.
int IL_ColorSeparateBitmap(_tagBITMAPHANDLE* source, _tagBITMAPHANDLE* planes[3], int structSize, int flags);

// Builds a 24-bit bitmap of colorOrder 1 from three equal 8-bit planes: byte k
// of each pixel is byte k of plane k's palette entry for its value. target is
// overwritten (not released first) and owns the new block; its palette fields
// are untouched. flags must be 0. Does not block.
int IL_ColorMergeBitmap(_tagBITMAPHANDLE* target, _tagBITMAPHANDLE* planes[3], int structSize, int flags);

#endif
