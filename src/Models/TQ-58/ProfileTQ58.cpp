#include "ProfileTQ58.h"

#include "FixedPath.h"
#include "ModelTQ58.h"

// The vendor ID is the build's choice (CMake option TQ58_USB_VENDOR_ID).
#ifndef TQ58_USB_VENDOR_ID
#error "TQ58_USB_VENDOR_ID must be set by the build"
#endif

namespace {

constexpr uint16_t kProductIdTQ58 = 12;

}  // namespace

const ModelProfile& GetProfileTQ58()
{
  static const ModelProfile profile = [] {
    ModelProfile p;
    p.usbVendorId = TQ58_USB_VENDOR_ID;
    p.usbProductId = kProductIdTQ58;
    p.modelTag = "TQ-58";
    p.cacheFolder = kTQ58CacheFolder;
    p.queueModel = &kQueueModelTQ58;
    return p;
  }();
  return profile;
}
