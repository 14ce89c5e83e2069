// The colour pipeline: one page buffer in, the finished 24-bit bitmap out.
//
// Steps, in order: quarter turn, wrap, resolution fit, border shrink, ICC
// matching, per-plane gamma/intensity/contrast, sharpening, saturation and
// the final hand-over into a fresh record. A step that fails for lack of
// memory or unusable settings leaves the bitmap as it was, except where the
// page can no longer be carried on (see ColorProcess).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "ColorTransform.h"
#include "NvoImgLib_LinuxDef.h"
#include "PhotoImageBuffer.h"

namespace {

constexpr int kRecordSize = static_cast<int>(sizeof(_tagBITMAPHANDLE));
constexpr int32_t kStripRows = 1000;  // rows resampled at a time by the border shrink

uint64_t Stride24(int64_t width) { return (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4; }

// Width and height the bitmap record can describe, with strides that fit its
// 32-bit field (both ways round when the page is turned).
bool FitsRecord(long width, long height, bool turn) {
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
    return false;
  }
  return Stride24(width) <= UINT32_MAX && (!turn || Stride24(height) <= UINT32_MAX);
}

// A block the bitmap records may own: from the C heap, released by GlobalFree.
unsigned char* NewBlock(uint64_t size) {
  if (size > SIZE_MAX) {
    return nullptr;
  }
  return static_cast<unsigned char*>(GlobalLock(GlobalAlloc(0, static_cast<size_t>(size))));
}

// The page turned a quarter turn anticlockwise (its top edge becomes the left
// edge): new stored row r, column c is old stored row height-1-c, column r.
// Returns the new block (width rows of height pixels), or null.
unsigned char* QuarterTurn(const unsigned char* page, long width, long height) {
  const size_t oldStride = Stride24(width);
  const size_t newStride = Stride24(height);
  unsigned char* turned = NewBlock(static_cast<uint64_t>(newStride) * static_cast<uint64_t>(width));
  if (turned == nullptr) {
    return nullptr;
  }
  for (long r = 0; r < width; ++r) {
    unsigned char* out = turned + static_cast<size_t>(r) * newStride;
    const unsigned char* in = page + static_cast<size_t>(height - 1) * oldStride + 3 * static_cast<size_t>(r);
    for (long c = 0; c < height; ++c, in -= oldStride) {
      std::memcpy(out + 3 * c, in, 3);
    }
    std::memset(out + 3 * height, 0, newStride - 3 * static_cast<size_t>(height));
  }
  return turned;
}

// Turns the page if asked and wraps it as a bitmap that owns it. On failure
// the page is released and false returned.
bool WrapPage(void* page, long width, long height, bool turn, _tagBITMAPHANDLE* bitmap) {
  if (page == nullptr || !FitsRecord(width, height, turn)) {
    std::free(page);
    return false;
  }
  if (turn) {
    unsigned char* turned = QuarterTurn(static_cast<unsigned char*>(page), width, height);
    std::free(page);
    if (turned == nullptr) {
      return false;
    }
    page = turned;
    std::swap(width, height);
  }
  const size_t size = static_cast<size_t>(Stride24(width)) * static_cast<size_t>(height);
  if (IL_CreateBitmap(bitmap, kRecordSize, 2, static_cast<unsigned>(width), static_cast<unsigned>(height), 24, 1,
                      nullptr, 4, page, size) != IL_SUCCESS) {
    std::free(page);
    return false;
  }
  bitmap->memoryHandle = bitmap->bits;
  return true;
}

// 600-dpi pages are halved across; turned 300x600 pages are halved across and
// doubled along. A resampling that fails leaves the bitmap as it was.
void FitResolution(_tagBITMAPHANDLE* bitmap, int64_t resolutionMode, bool turned) {
  if (resolutionMode == 2) {
    IL_SizeBitmap(bitmap, bitmap->width / 2, bitmap->height, 4);
  } else if (resolutionMode == 1 && turned && bitmap->height <= INT32_MAX / 2) {
    IL_SizeBitmap(bitmap, bitmap->width / 2, 2 * bitmap->height, 4);
  }
}

// s = min(qy, qx), each quotient computed in double and rounded to float.
// 0 when the media has no print area.
float ShrinkFactor(const DeviceMediaBufferInfo& media) {
  if (media.printWidth <= 0 || media.printHeight <= 0) {
    return 0.0f;
  }
  const double width = media.printWidth;
  const double height = media.printHeight;
  const float qx = static_cast<float>((width - 2.0 * media.borderX) / width);
  const float qy = static_cast<float>((height - 2.0 * media.borderY) / height);
  return std::min(qy, qx);
}

// trunc(length * s) with the product in single precision; 0 when it does not
// fit a bitmap dimension.
int32_t ScaledLength(int32_t length, float s) {
  const float product = static_cast<float>(length) * s;
  if (!(product >= 0.0f) || product >= 2147483648.0f) {
    return 0;
  }
  return static_cast<int32_t>(product);
}

// Resamples the source in strips of at most kStripRows stored rows, each to
// trunc(m * s) rows, and stacks them from stored row 0 of target; rows past
// the target's end are dropped. False when a strip cannot be resampled.
bool ScaleStrips(const _tagBITMAPHANDLE& source, float s, _tagBITMAPHANDLE* target) {
  int64_t next = 0;
  for (int32_t first = 0; first < source.height; first += kStripRows) {
    const int32_t rows = std::min(kStripRows, source.height - first);
    const int32_t scaledRows = ScaledLength(rows, s);
    if (scaledRows == 0) {
      continue;
    }
    // The strip reads the page's rows where they lie; resampling gives it a block of its own.
    _tagBITMAPHANDLE strip{};
    IL_CreateBitmap(&strip, kRecordSize, 2, static_cast<unsigned>(source.width), static_cast<unsigned>(rows), 24,
                    1, nullptr, 4, source.bits + static_cast<size_t>(first) * source.bytesPerLine,
                    static_cast<size_t>(source.bytesPerLine) * static_cast<size_t>(rows));
    if (IL_SizeBitmap(&strip, target->width, scaledRows, 4) != IL_SUCCESS) {
      IL_FreeBitmap(&strip);
      return false;
    }
    const int64_t kept = std::min<int64_t>(scaledRows, target->height - next);
    for (int64_t r = 0; r < kept; ++r) {
      std::memcpy(target->bits + static_cast<size_t>(next + r) * target->bytesPerLine,
                  strip.bits + static_cast<size_t>(r) * strip.bytesPerLine, target->bytesPerLine);
    }
    next += scaledRows;
    IL_FreeBitmap(&strip);
  }
  return true;
}

// Shrinks the picture by s onto a white block of trunc(W * s) x trunc(H * s)
// for bordered printing. Leaves the bitmap as it was when that fails.
void ShrinkForBorder(_tagBITMAPHANDLE* bitmap, float s) {
  const int32_t width = ScaledLength(bitmap->width, s);
  const int32_t height = ScaledLength(bitmap->height, s);
  if (width == 0 || height == 0) {
    return;
  }
  const uint64_t size = Stride24(width) * static_cast<uint64_t>(height);
  unsigned char* block = NewBlock(size);
  if (block == nullptr) {
    return;
  }
  std::memset(block, 255, static_cast<size_t>(size));
  _tagBITMAPHANDLE shrunk{};
  if (IL_CreateBitmap(&shrunk, kRecordSize, 2, static_cast<unsigned>(width), static_cast<unsigned>(height), 24, 1,
                      nullptr, 4, block, static_cast<size_t>(size)) != IL_SUCCESS) {
    GlobalFree(block);
    return;
  }
  shrunk.memoryHandle = block;
  if (!ScaleStrips(*bitmap, s, &shrunk)) {
    IL_FreeBitmap(&shrunk);
    return;
  }
  IL_FreeBitmap(bitmap);
  *bitmap = shrunk;
}

// Converts the picture from sRGB to the printer profile. Skipped when the
// transform cannot be built or the copy cannot be had; a refused conversion
// puts the original pixels back.
void MatchColors(_tagBITMAPHANDLE* bitmap, const char* profilePath) {
  ColorTransformRef transform = get_colord_transform_func(profilePath);
  if (transform == nullptr) {
    return;
  }
  const size_t size = static_cast<size_t>(bitmap->dataSize);
  unsigned char* copy = NewBlock(size);
  if (copy != nullptr) {
    std::memcpy(copy, bitmap->bits, size);
    std::memset(bitmap->bits, 0, size);
    if (!ColorTransformConvert(transform, bitmap->width, bitmap->height, bitmap->bits, bitmap->bytesPerLine,
                               copy, bitmap->bytesPerLine)) {
      std::memcpy(bitmap->bits, copy, size);
    }
    GlobalFree(copy);
  }
  releaseTransform(transform);
}

struct ToneSettings {
  int32_t gamma[3];
  int32_t intensity[3];
  int32_t contrast[3];
};

void FreePlanes(_tagBITMAPHANDLE* const planes[3]) {
  for (int k = 0; k < 3; ++k) {
    IL_FreeBitmap(planes[k]);
  }
}

// Separates the bitmap into red, green and blue planes, runs the nine palette
// operations and merges the planes into work. The bitmap is released; false
// (with work empty) when separation or merge runs out of memory.
bool AdjustTones(_tagBITMAPHANDLE* bitmap, const ToneSettings& tone, _tagBITMAPHANDLE* work) {
  _tagBITMAPHANDLE records[3] = {};
  _tagBITMAPHANDLE* planes[3] = {&records[0], &records[1], &records[2]};
  const bool separated = IL_ColorSeparateBitmap(bitmap, planes, kRecordSize, 0) == IL_SUCCESS;
  IL_FreeBitmap(bitmap);
  if (!separated) {
    return false;
  }
  for (int k = 0; k < 3; ++k) {
    IL_GammaCorrectBitmap(planes[k], static_cast<unsigned>(tone.gamma[k]));
  }
  for (int k = 0; k < 3; ++k) {
    IL_ChangeBitmapIntensity(planes[k], tone.intensity[k]);
  }
  for (int k = 0; k < 3; ++k) {
    IL_ChangeBitmapContrast(planes[k], tone.contrast[k]);
  }
  const bool merged = IL_ColorMergeBitmap(work, planes, kRecordSize, 0) == IL_SUCCESS;
  FreePlanes(planes);
  return merged;
}

// Separates the work bitmap once more and merges it into a zero-filled record
// the caller owns. Work is released; null when memory runs out.
_tagBITMAPHANDLE* HandOver(_tagBITMAPHANDLE* work) {
  _tagBITMAPHANDLE records[3] = {};
  _tagBITMAPHANDLE* planes[3] = {&records[0], &records[1], &records[2]};
  const bool separated = IL_ColorSeparateBitmap(work, planes, kRecordSize, 0) == IL_SUCCESS;
  IL_FreeBitmap(work);
  auto* result = separated ? static_cast<_tagBITMAPHANDLE*>(std::calloc(1, sizeof(_tagBITMAPHANDLE))) : nullptr;
  if (result != nullptr && IL_ColorMergeBitmap(result, planes, kRecordSize, 0) != IL_SUCCESS) {
    std::free(result);
    result = nullptr;
  }
  FreePlanes(planes);
  return result;
}

}  // namespace

// The page (from the C heap) is taken over on every path. Null when the page
// cannot be carried on: zero or negative width or height, sizes whose strides
// do not fit the bitmap record, or memory exhausted for the quarter turn, the
// plane separations or the result. The caller then prints no page.
_tagBITMAPHANDLE* PhotoImageBuffer::ColorProcess(void* page, long width, long height, int /*slot*/) {
  _tagBITMAPHANDLE bitmap{};
  const bool turn = paperRotate != 0;
  if (!WrapPage(page, width, height, turn, &bitmap)) {
    return nullptr;
  }
  FitResolution(&bitmap, resolutionMode, turn);
  if (border != 0) {
    const float s = ShrinkFactor(allocatedMedia);
    if (s > 0.0f) {
      ShrinkForBorder(&bitmap, s);
    }
  }
  if (icm != 0 && !iccProfilePath.empty()) {
    MatchColors(&bitmap, iccProfilePath.c_str());
  }
  const bool adjust = colorAdjustment != 0;
  ToneSettings tone{{100, 100, 100}, {0, 0, 0}, {0, 0, 0}};
  if (adjust) {
    std::copy(gamma, gamma + 3, tone.gamma);
    std::copy(intensity, intensity + 3, tone.intensity);
    std::copy(contrast, contrast + 3, tone.contrast);
  }
  _tagBITMAPHANDLE work{};
  if (!AdjustTones(&bitmap, tone, &work)) {
    return nullptr;
  }
  IL_SharpenBitmap(&work, sharpness);
  IL_ChangeBitmapSaturation(&work, adjust ? saturation : 0);
  return HandOver(&work);
}
