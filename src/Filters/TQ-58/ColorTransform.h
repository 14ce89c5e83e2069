// ICC colour matching of packed 8-bit RGB: a two-stage transform from sRGB to
// a printer profile, each stage with the rendering intent of its profile's header.
#ifndef TQ58_COLORTRANSFORM_H
#define TQ58_COLORTRANSFORM_H

#include <cstddef>
#include <string>

struct ColorTransformData;
using ColorTransformRef = ColorTransformData*;

// Largest profile file taken (bytes); a larger one counts as no profile.
constexpr size_t kMaxProfileBytes = size_t{16} << 20;

// The bytes of the profile file at profilePath: only a regular file of at most
// kMaxProfileBytes, never through a final link (a fifo, device or link there
// counts as no file). False, with *bytes empty, otherwise. Does not block.
bool GetProfileBytes(const char* profilePath, std::string* bytes);

// Builds the sRGB -> profile transform from the file GetProfileBytes reads;
// null when the sRGB profile, the file or the transform cannot be had. Does not block.
ColorTransformRef get_colord_transform_func(const char* profilePath);

// Releases a transform; null is ignored.
void releaseTransform(ColorTransformRef transform);

// Converts width x height pixels of packed RGB (3 bytes each) from src to dst,
// each with its own row stride; src and dst may be the same block (in place).
// Bytes past width x 3 in a row are left alone. False, with nothing written,
// for a null transform or buffer, a negative size, or a stride shorter than a
// row or beyond 32 bits. Does not block.
bool ColorTransformConvert(ColorTransformRef transform, long width, long height, void* dst, size_t dstStride,
                           const void* src, size_t srcStride);

#endif
