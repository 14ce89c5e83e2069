// The colour pipeline: one page buffer in, the finished 24-bit bitmap out.
//
// Steps, in order: quarter turn, wrap, resolution fit, bleed cover, border
// shrink in strips, ICC matching, per-plane gamma/intensity/contrast, sharpening,
// saturation, and the hand-over into a fresh record. Every bitmap here has
// colorOrder 1 (byte 0 red). A step that fails for lack of memory or for
// unusable settings leaves the bitmap as it was, except where the page can no
// longer be carried on (see ColorProcess).
#include <algorithm>
#include <climits>
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

uint64_t Stride24(int64_t width)
{
  return (static_cast<uint64_t>(width) * 24 + 31) / 32 * 4;
}

// Width and height the bitmap record can describe, with strides that fit its
// 32-bit field (both ways round when the page is turned).
bool FitsRecord(long width, long height, bool turn)
{
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
    return false;
  }
  return Stride24(width) <= UINT32_MAX && (!turn || Stride24(height) <= UINT32_MAX);
}

// A block the bitmap records may own: from the C heap, released by GlobalFree.
unsigned char* NewBlock(uint64_t size)
{
  if (size > SIZE_MAX) {
    return nullptr;
  }
  return static_cast<unsigned char*>(GlobalLock(GlobalAlloc(0, static_cast<size_t>(size))));
}

// The page turned a quarter turn anticlockwise (its top edge becomes the left
// edge): new stored row r, column c is old stored row height-1-c, column r.
// Returns the new block (width rows of height pixels), or null.
unsigned char* QuarterTurn(const unsigned char* page, long width, long height)
{
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
bool WrapPage(void* page, long width, long height, bool turn, _tagBITMAPHANDLE* bitmap)
{
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

// Halves the width as IL_SizeBitmap (width / 2, height) does. For an even
// width every new column j samples old column 2j exactly, where the cubic
// weights are 0, 1, 0, 0 and the sums reproduce the bytes, so the even
// columns are gathered in place instead (each byte is written at or before
// the place it is read from). Odd widths go through the resampler.
void HalveWidth(_tagBITMAPHANDLE* bitmap)
{
  const int32_t width = bitmap->width / 2;
  if (bitmap->width % 2 != 0 || width == 0) {
    IL_SizeBitmap(bitmap, width, bitmap->height, 4);
    return;
  }
  const size_t oldStride = bitmap->bytesPerLine;
  const size_t stride = Stride24(width);
  const size_t used = 3 * static_cast<size_t>(width);
  for (int32_t y = 0; y < bitmap->height; ++y) {
    const unsigned char* in = bitmap->bits + static_cast<size_t>(y) * oldStride;
    unsigned char* out = bitmap->bits + static_cast<size_t>(y) * stride;
    for (size_t i = 0; i < used; i += 3, in += 6) {
      out[i] = in[0];
      out[i + 1] = in[1];
      out[i + 2] = in[2];
    }
    std::memset(out + used, 0, stride - used);
  }
  bitmap->width = width;
  bitmap->bytesPerLine = static_cast<uint32_t>(stride);
  bitmap->dataSize = static_cast<uint64_t>(stride) * static_cast<uint64_t>(bitmap->height);
}

// 600-dpi pages are halved across; turned 300x600 pages are halved across and
// doubled along. A resampling that fails leaves the bitmap as it was.
void FitResolution(_tagBITMAPHANDLE* bitmap, int64_t resolutionMode, bool turned)
{
  if (resolutionMode == 2) {
    HalveWidth(bitmap);
  } else if (resolutionMode == 1 && turned && bitmap->height <= INT32_MAX / 2) {
    IL_SizeBitmap(bitmap, bitmap->width / 2, 2 * bitmap->height, 4);
  }
}

// s = min(qy, qx), each quotient computed in double and rounded to float.
// 0 when the media has no print area.
float ShrinkFactor(const DeviceMediaBufferInfo& media)
{
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
int32_t ScaledLength(int32_t length, float s)
{
  const float product = static_cast<float>(length) * s;
  if (!(product >= 0.0f) || product >= 2147483648.0f) {
    return 0;
  }
  return static_cast<int32_t>(product);
}

// Resamples the source in strips of at most kStripRows stored rows, each to
// trunc(m * s) rows, and stacks them from stored row 0 of target; rows past
// the target's end are dropped. False when a strip cannot be resampled.
bool ScaleStrips(const _tagBITMAPHANDLE& source, float s, _tagBITMAPHANDLE* target)
{
  int64_t next = 0;
  for (int32_t first = 0; first < source.height; first += kStripRows) {
    const int32_t rows = std::min(kStripRows, source.height - first);
    const int32_t scaledRows = ScaledLength(rows, s);
    if (scaledRows == 0) {
      continue;
    }
    // The strip reads the page's rows where they lie; resampling gives it a block of its own.
    _tagBITMAPHANDLE strip{};
    IL_CreateBitmap(&strip, kRecordSize, 2, static_cast<unsigned>(source.width), static_cast<unsigned>(rows), 24, 1,
                    nullptr, 4, source.bits + static_cast<size_t>(first) * source.bytesPerLine,
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
void ShrinkForBorder(_tagBITMAPHANDLE* bitmap, float s)
{
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

// Cuts the middle cropWidth x cropHeight out of the bitmap (an odd overhang
// leaves its extra column or row on the far side). Leaves the bitmap as it
// was when the block cannot be had.
void CropMiddle(_tagBITMAPHANDLE* bitmap, int32_t cropWidth, int32_t cropHeight)
{
  const uint64_t stride = Stride24(cropWidth);
  unsigned char* block = NewBlock(stride * static_cast<uint64_t>(cropHeight));
  if (block == nullptr) {
    return;
  }
  const size_t x0 = 3 * static_cast<size_t>((bitmap->width - cropWidth) / 2);
  const size_t y0 = static_cast<size_t>((bitmap->height - cropHeight) / 2);
  for (int32_t r = 0; r < cropHeight; ++r) {
    unsigned char* out = block + static_cast<size_t>(r) * stride;
    std::memcpy(out, bitmap->bits + (y0 + static_cast<size_t>(r)) * bitmap->bytesPerLine + x0,
                3 * static_cast<size_t>(cropWidth));
    std::memset(out + 3 * static_cast<size_t>(cropWidth), 0, stride - 3 * static_cast<size_t>(cropWidth));
  }
  _tagBITMAPHANDLE cropped{};
  if (IL_CreateBitmap(&cropped, kRecordSize, 2, static_cast<unsigned>(cropWidth), static_cast<unsigned>(cropHeight), 24,
                      1, nullptr, 4, block,
                      static_cast<size_t>(stride) * static_cast<size_t>(cropHeight)) != IL_SUCCESS) {
    GlobalFree(block);
    return;
  }
  cropped.memoryHandle = block;
  IL_FreeBitmap(bitmap);
  *bitmap = cropped;
}

}  // namespace

double GetBleedScale(const DeviceMediaBufferInfo& media, const double pagePoints[2])
{
  if (media.imageWidthDots <= 0 || media.imageHeightDots <= 0 || media.yDpi <= 0 || !(pagePoints[0] > 0) ||
      !(pagePoints[1] > 0)) {
    return 1.0;
  }
  // Across, the bitmap is at 300 dpi once the resolution is fitted; along, at the media's yDpi.
  const double qx = media.imageWidthDots / (pagePoints[0] * 300.0 / 72.0);
  const double qy = media.imageHeightDots / (pagePoints[1] * static_cast<double>(media.yDpi) / 72.0);
  const double s = std::max(qx, qy);
  if (std::min(qx, qy) < 1.0 || s < 1.001 || s > kMaxBleedScale) {
    return 1.0;
  }
  return s;
}

namespace {

// Enlarges the picture by s (GetBleedScale, at most kMaxBleedScale, so the
// sizes stay far below the record's limits; rounded, so that a page of the
// media's size gives the whole print area) and keeps the middle of it that the
// media's image area holds. A resampling that fails leaves the bitmap as it was.
void CoverBleed(_tagBITMAPHANDLE* bitmap, double s, const DeviceMediaBufferInfo& media)
{
  const int64_t width = std::llround(bitmap->width * s);
  const int64_t height = std::llround(bitmap->height * s);
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX ||
      IL_SizeBitmap(bitmap, static_cast<int>(width), static_cast<int>(height), 4) != IL_SUCCESS) {
    return;
  }
  if (width > media.imageWidthDots || height > media.imageHeightDots) {
    CropMiddle(bitmap, static_cast<int32_t>(std::min<int64_t>(width, media.imageWidthDots)),
               static_cast<int32_t>(std::min<int64_t>(height, media.imageHeightDots)));
  }
}

// Converts the picture from sRGB to the printer profile, in place (input and
// output pixels have the same size, so every pixel is read before it is
// written). Skipped when the transform cannot be built.
void MatchColors(_tagBITMAPHANDLE* bitmap, const char* profilePath)
{
  ColorTransformRef transform = get_colord_transform_func(profilePath);
  if (transform == nullptr) {
    return;
  }
  ColorTransformConvert(transform, bitmap->width, bitmap->height, bitmap->bits, bitmap->bytesPerLine, bitmap->bits,
                        bitmap->bytesPerLine);
  releaseTransform(transform);
}

struct ToneSettings {
  int32_t gamma[3];
  int32_t intensity[3];
  int32_t contrast[3];
};

using ToneTables = unsigned char[3][256];

// The palettes the nine plane operations leave: gamma, then intensity, then
// contrast on planes 0, 1, 2 (red, green, blue). They act on palettes only,
// so planes of one pixel give the same tables as planes of the whole page.
// False when the planes cannot be had.
bool MakeToneTables(const ToneSettings& tone, ToneTables tables)
{
  unsigned char pixel[4] = {};
  _tagBITMAPHANDLE one{};
  IL_CreateBitmap(&one, kRecordSize, 2, 1, 1, 24, 1, nullptr, 4, pixel, sizeof pixel);
  _tagBITMAPHANDLE records[3] = {};
  _tagBITMAPHANDLE* planes[3] = {&records[0], &records[1], &records[2]};
  if (IL_ColorSeparateBitmap(&one, planes, kRecordSize, 0) != IL_SUCCESS) {
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
  for (int k = 0; k < 3; ++k) {
    for (int e = 0; e < 256; ++e) {
      tables[k][e] = planes[k]->palette[4 * e + k];
    }
    IL_FreeBitmap(planes[k]);
  }
  return true;
}

bool IsIdentity(const ToneTables tables)
{
  for (int k = 0; k < 3; ++k) {
    for (int e = 0; e < 256; ++e) {
      if (tables[k][e] != e) {
        return false;
      }
    }
  }
  return true;
}

// Byte k of every pixel through table k, in place, and the row padding zeroed:
// the bytes that separating the bitmap (colorOrder 1) into planes with these
// palettes and merging them back would give, without the four page-sized
// blocks. False (bitmap untouched) when the tables cannot be had.
bool AdjustTones(_tagBITMAPHANDLE* bitmap, const ToneSettings& tone)
{
  ToneTables tables;
  if (!MakeToneTables(tone, tables)) {
    return false;
  }
  const bool identity = IsIdentity(tables);
  const size_t used = 3 * static_cast<size_t>(bitmap->width);
  for (int32_t y = 0; y < bitmap->height; ++y) {
    unsigned char* row = bitmap->bits + static_cast<size_t>(y) * bitmap->bytesPerLine;
    for (size_t i = 0; !identity && i < used; i += 3) {
      row[i] = tables[0][row[i]];
      row[i + 1] = tables[1][row[i + 1]];
      row[i + 2] = tables[2][row[i + 2]];
    }
    std::memset(row + used, 0, bitmap->bytesPerLine - used);
  }
  return true;
}

// Moves the finished bitmap into a zero-filled record the caller owns: the
// record a last separation and merge would give (24 bits, colorOrder 1, no
// palette). Null, with the bitmap released, when the record cannot be had.
_tagBITMAPHANDLE* HandOver(_tagBITMAPHANDLE* work)
{
  auto* result = static_cast<_tagBITMAPHANDLE*>(std::calloc(1, sizeof(_tagBITMAPHANDLE)));
  if (result == nullptr) {
    IL_FreeBitmap(work);
    return nullptr;
  }
  *result = *work;
  result->palette = nullptr;
  result->paletteSize = 0;
  *work = {};
  return result;
}

}  // namespace

// The page (from the C heap) is taken over on every path. Null when the page
// cannot be carried on: a null page, zero or negative width or height (such a
// page is skipped), sizes whose strides do not fit the bitmap record, or
// memory exhausted for the quarter turn, the tone planes or the result
// record. The caller then prints no page.
_tagBITMAPHANDLE* PhotoImageBuffer::ColorProcess(void* page, long width, long height, int /*slot*/)
{
  _tagBITMAPHANDLE bitmap{};
  const bool turn = paperRotate != 0;
  if (!WrapPage(page, width, height, turn, &bitmap)) {
    return nullptr;
  }
  FitResolution(&bitmap, resolutionMode, turn);
  const double bleed = turn ? 1.0 : GetBleedScale(allocatedMedia, pageSizePoints);
  if (bleed != 1.0) {
    CoverBleed(&bitmap, bleed, allocatedMedia);
  }
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
  if (!AdjustTones(&bitmap, tone)) {
    IL_FreeBitmap(&bitmap);
    return nullptr;
  }
  IL_SharpenBitmap(&bitmap, sharpness);
  IL_ChangeBitmapSaturation(&bitmap, adjust ? saturation : 0);
  return HandOver(&bitmap);
}
