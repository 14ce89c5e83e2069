// A made-up second model of the family, "XQ-10", for the tests that show the
// model-neutral code working from a profile alone: other USB IDs, tag, cache
// folder and queue texts than the TQ-58's.
#ifndef TQ58_TEST_SECONDMODELPROFILE_H
#define TQ58_TEST_SECONDMODELPROFILE_H

#include <string>

#include "InstallLayout.h"
#include "ModelProfile.h"
#include "QueueModel.h"

inline const std::string kXqFolder = std::string(tq58_layout::kMakerCacheFolder) + "/XQ-10";

inline const QueueModel kXqQueues = {"PELLORI_SYSTEMS_XQ_10",
                                     "PELLORI SYSTEMS XQ-10",
                                     "fyxbackend://PELLORI%20SYSTEMS/XQ-10?serial=",
                                     "/usr/share/ppd/pellori/XQ-10.ppd",
                                     "pellori/XQ-10.ppd.gz",
                                     {"XQ-10", "PELLORI", "fyxbackend"}};

// The XQ-10's names (no filter tables or device entry).
inline ModelProfile MakeXqNames()
{
  ModelProfile p;
  p.usbVendorId = 0x2C3D;
  p.usbProductId = 40;
  p.modelTag = "XQ-10";
  p.cacheFolder = kXqFolder.c_str();
  p.queueModel = &kXqQueues;
  return p;
}

#endif
