// ICC colour matching on Little CMS 2. Each transform has a context of its
// own whose error handler discards lcms2's messages: the filter writes
// nothing to standard error, and the process-wide handler stays untouched.
#include "ColorTransform.h"

#include <lcms2.h>

#include <cstdint>
#include <new>

#include "SafeRead.h"

struct ColorTransformData {
  cmsContext context;
  cmsHTRANSFORM transform;
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
  cmsDoTransformLineStride(transform->transform, src, dst, static_cast<cmsUInt32Number>(width),
                           static_cast<cmsUInt32Number>(height), static_cast<cmsUInt32Number>(srcStride),
                           static_cast<cmsUInt32Number>(dstStride), 0, 0);
  return true;
}
