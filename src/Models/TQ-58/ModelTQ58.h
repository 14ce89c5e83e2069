// The TQ-58's fixed texts for its print queues (its profile's queue model).
#ifndef TQ58_MODELTQ58_H
#define TQ58_MODELTQ58_H

#include "InstallLayout.h"
#include "QueueModel.h"

inline const QueueModel kQueueModelTQ58 = {
    "PELLORI_SYSTEMS_TQ_58", "PELLORI SYSTEMS TQ-58",    "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=",
    tq58_layout::kPpd,       tq58_layout::kPpdModelName, {"TQ-58", "PELLORI", "fyxbackend"},
};

#endif
