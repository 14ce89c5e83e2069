#include "ProfileTQ58.h"

#include "FixedPath.h"
#include "ModelTQ58.h"
#include "UsbIdsTQ58.h"

const ModelProfile& GetProfileTQ58()
{
  static const ModelProfile profile = [] {
    ModelProfile p;
    p.usbVendorId = kTQ58UsbVendorId;
    p.usbProductId = kTQ58UsbProductId;
    p.modelTag = "TQ-58";
    p.cacheFolder = kTQ58CacheFolder;
    p.queueModel = &kQueueModelTQ58;
    return p;
  }();
  return profile;
}
