// The fixed texts of one model's print queues, part of its model profile:
// the daemon makes queues from them, the backend names its devices by them
// and the launcher knows the driver's queues by them.
#ifndef TQ58_QUEUEMODEL_H
#define TQ58_QUEUEMODEL_H

#include <vector>

// The fixed texts of one model's queues.
struct QueueModel {
  const char* baseName;               // "PELLORI_SYSTEMS_TQ_58"; numbered names add "_" and the number
  const char* description;            // a numbered queue's adds " " and the number
  const char* uriPrefix;              // the device URI before the serial text, ending in "serial="
  const char* ppdPath;                // fixed path where the package installs the model's PPD
  const char* ppdModel;               // the PPD's model name in the scheduler's model folders (lpadmin -m)
  std::vector<const char*> uriWords;  // words a device URI of the driver holds
};

#endif
