// The TQ-58's fixed texts for its print queues.
#ifndef TQ58_MODELTQ58_H
#define TQ58_MODELTQ58_H

#include "PrintQueue.h"

inline const QueueModel kQueueModelTQ58 = {
    "PELLORI_SYSTEMS_TQ_58",
    "PELLORI SYSTEMS TQ-58",
    "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=",
    "/Library/Printers/PPDs/Contents/Resources/TQ-58.gz",
    {"TQ-58", "PELLORI", "fyxbackend"},
};

#endif
