// ICC colour matching on Little CMS 2. Each transform has a context of its
// own whose error handler discards lcms2's messages: the filter writes
// nothing to standard error, and the process-wide handler stays untouched.
//
// A transform remembers the colours it has converted in a direct-mapped table
// (the result is a function of the input colour alone, so a remembered result
// is the byte lcms2 gives). Each row looks its colours up, gathers the others
// and converts them in one lcms2 call. Where the table seldom answers (many
// distinct colours), rows go straight to lcms2 for a while.
#include "ColorTransform.h"

#include <lcms2.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "SafeRead.h"

namespace {

constexpr uint32_t kMemoBits = 16;
constexpr int32_t kMemoRows = 32;      // rows per stretch for which the table's use is decided
constexpr int32_t kSkipStretches = 7;  // stretches sent straight to lcms2 after a poor one

// A remembered colour: key is 1 << 24 | r << 16 | g << 8 | b, 0 when empty.
struct MemoEntry {
  uint32_t key;
  unsigned char rgb[4];
};

}  // namespace

struct ColorTransformData {
  cmsContext context;
  cmsHTRANSFORM transform;
  std::vector<MemoEntry> memo{};        // 1 << kMemoBits entries once used
  std::vector<unsigned char> missIn{};  // one row of colours not found, and their results
  std::vector<unsigned char> missOut{};
  std::vector<uint32_t> missAt{};  // their columns
};

namespace {

void DiscardError(cmsContext /*context*/, cmsUInt32Number /*code*/, const char* /*text*/) {}

cmsContext MakeSilentContext()
{
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (context != nullptr) {
    cmsSetLogErrorHandlerTHR(context, DiscardError);
  }
  return context;
}

// sRGB (device to PCS) then the printer profile (PCS to device), each with
// the rendering intent its header names, on packed 8-bit RGB.
cmsHTRANSFORM MakeTwoStage(cmsContext context, cmsHPROFILE srgb, cmsHPROFILE printer)
{
  cmsHPROFILE profiles[2] = {srgb, printer};
  cmsBool blackPoint[2] = {FALSE, FALSE};
  cmsUInt32Number intents[2] = {cmsGetHeaderRenderingIntent(srgb), cmsGetHeaderRenderingIntent(printer)};
  cmsFloat64Number adaptation[2] = {1.0, 1.0};
  return cmsCreateExtendedTransform(context, 2, profiles, blackPoint, intents, adaptation, nullptr, 0, TYPE_RGB_8,
                                    TYPE_RGB_8, 0);
}

}  // namespace

bool GetProfileBytes(const char* profilePath, std::string* bytes)
{
  return TQ58_GetSmallFile(profilePath, kMaxProfileBytes, bytes);
}

ColorTransformRef get_colord_transform_func(const char* profilePath)
{
  // The profile is read into memory first, so that lcms2 never reads from
  // whatever stands at the path (a fifo would hold it, a device feed it for ever).
  std::string bytes;
  if (!GetProfileBytes(profilePath, &bytes)) {
    return nullptr;
  }
  cmsContext context = MakeSilentContext();
  if (context == nullptr) {
    return nullptr;
  }
  cmsHTRANSFORM transform = nullptr;
  cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
  if (srgb != nullptr) {
    cmsHPROFILE printer = cmsOpenProfileFromMemTHR(context, bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
    if (printer != nullptr) {
      transform = MakeTwoStage(context, srgb, printer);
      cmsCloseProfile(printer);
    }
    cmsCloseProfile(srgb);
  }
  auto* data = transform != nullptr ? new (std::nothrow) ColorTransformData{context, transform} : nullptr;
  if (data == nullptr) {
    if (transform != nullptr) {
      cmsDeleteTransform(transform);
    }
    cmsDeleteContext(context);
  }
  return data;
}

void releaseTransform(ColorTransformRef transform)
{
  if (transform == nullptr) {
    return;
  }
  cmsDeleteTransform(transform->transform);
  cmsDeleteContext(transform->context);
  delete transform;
}

namespace {

uint32_t MemoSlot(uint32_t key)
{
  return (key * 2654435761u) >> (32 - kMemoBits);
}

// One row through the table and lcms2; returns how many pixels the table answered.
uint32_t ConvertRowMemo(ColorTransformData* t, uint32_t width, unsigned char* dst, const unsigned char* src)
{
  uint32_t misses = 0;
  for (uint32_t x = 0; x < width; ++x) {
    const unsigned char* in = src + 3 * static_cast<size_t>(x);
    const uint32_t key = 1u << 24 | static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
    const MemoEntry& e = t->memo[MemoSlot(key)];
    if (e.key == key) {
      std::memcpy(dst + 3 * static_cast<size_t>(x), e.rgb, 3);
    } else {
      std::memcpy(&t->missIn[3 * static_cast<size_t>(misses)], in, 3);
      t->missAt[misses++] = x;
    }
  }
  if (misses == 0) {
    return width;
  }
  cmsDoTransform(t->transform, t->missIn.data(), t->missOut.data(), misses);
  for (uint32_t i = 0; i < misses; ++i) {
    const unsigned char* in = &t->missIn[3 * static_cast<size_t>(i)];
    const unsigned char* out = &t->missOut[3 * static_cast<size_t>(i)];
    std::memcpy(dst + 3 * static_cast<size_t>(t->missAt[i]), out, 3);
    const uint32_t key = 1u << 24 | static_cast<uint32_t>(in[0]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[2];
    MemoEntry& e = t->memo[MemoSlot(key)];
    e.key = key;
    std::memcpy(e.rgb, out, 3);
  }
  return width - misses;
}

// The rows in stretches of kMemoRows: through the table while it answers at
// least half the pixels of a stretch, else straight to lcms2 for the next
// kSkipStretches stretches.
void ConvertRows(ColorTransformData* t, uint32_t width, uint32_t height, unsigned char* dst, size_t dstStride,
                 const unsigned char* src, size_t srcStride)
{
  t->memo.resize(size_t{1} << kMemoBits);
  t->missIn.resize(3 * static_cast<size_t>(width));
  t->missOut.resize(3 * static_cast<size_t>(width));
  t->missAt.resize(width);
  int32_t skip = 0;
  for (uint32_t y = 0; y < height; y += kMemoRows) {
    const uint32_t rows = height - y < kMemoRows ? height - y : kMemoRows;
    if (skip > 0) {
      --skip;
      cmsDoTransformLineStride(t->transform, src + y * srcStride, dst + y * dstStride, width, rows,
                               static_cast<cmsUInt32Number>(srcStride), static_cast<cmsUInt32Number>(dstStride), 0, 0);
      continue;
    }
    uint64_t answered = 0;
    for (uint32_t r = y; r < y + rows; ++r) {
      answered += ConvertRowMemo(t, width, dst + r * dstStride, src + r * srcStride);
    }
    skip = 2 * answered < static_cast<uint64_t>(width) * rows ? kSkipStretches : 0;
  }
}

}  // namespace

bool ColorTransformConvert(ColorTransformRef transform, long width, long height, void* dst, size_t dstStride,
                           const void* src, size_t srcStride)
{
  if (transform == nullptr || dst == nullptr || src == nullptr || width < 0 || height < 0) {
    return false;
  }
  // lcms2 counts in 32 bits; every row must hold width packed pixels.
  const uint64_t rowBytes = static_cast<uint64_t>(width) * 3;
  if (width > UINT32_MAX / 3 || height > UINT32_MAX || dstStride > UINT32_MAX || srcStride > UINT32_MAX ||
      dstStride < rowBytes || srcStride < rowBytes) {
    return false;
  }
  if (width == 0 || height == 0) {
    return true;
  }
  try {
    ConvertRows(transform, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                static_cast<unsigned char*>(dst), dstStride, static_cast<const unsigned char*>(src), srcStride);
  } catch (const std::bad_alloc&) {
    // Without room for the table, every row goes straight to lcms2.
    cmsDoTransformLineStride(transform->transform, src, dst, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(height), static_cast<cmsUInt32Number>(srcStride),
                             static_cast<cmsUInt32Number>(dstStride), 0, 0);
  }
  return true;
}
