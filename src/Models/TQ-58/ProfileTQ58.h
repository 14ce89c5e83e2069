// The TQ-58's model profile.
#ifndef TQ58_PROFILETQ58_H
#define TQ58_PROFILETQ58_H

#include "ModelProfile.h"

// The TQ-58's names: its USB IDs (the build's TQ58_USB_VENDOR_ID), the tag
// "TQ-58", the layout's cache folder and the queue model kQueueModelTQ58. The
// filter's tables and device entry are added by the filter, which owns them
// (GetFilterProfileTQ58 in rastertotq58's library).
const ModelProfile& GetProfileTQ58();

#endif
