// A model profile: everything that tells one printer model of the family from
// another (USB IDs, the names of its files, its cache folder, its queues, its
// media and overcoat tables, its device entry). The model-neutral code takes
// it instead of fixed names; each program sets its model's profile once at
// start (SetModelProfile) or passes one down where it is asked for.
#ifndef TQ58_MODELPROFILE_H
#define TQ58_MODELPROFILE_H

#include <cstddef>
#include <cstdint>

struct QueueModel;
struct DeviceMediaBufferInfo;
struct OverCoatInfo;
class DeviceEntry;

struct ModelProfile {
  uint16_t usbVendorId = 0;
  uint16_t usbProductId = 0;
  // The model tag: prefix of the information file "<tag>_<serial>.log" and of
  // the marker files "<tag>_<serial>_UTIL" and the like.
  const char* modelTag = nullptr;
  // The model's cache folder as a fixed path (mapped through TQ58_FixedPath).
  const char* cacheFolder = nullptr;
  const QueueModel* queueModel = nullptr;  // its print queues' fixed texts
  const DeviceMediaBufferInfo* mediaTable = nullptr;
  size_t mediaCount = 0;
  const OverCoatInfo* overcoatTable = nullptr;
  size_t overcoatCount = 0;
  // A new device entry of the model, owned by the caller; null where the
  // program has no filter part.
  DeviceEntry* (*createDeviceEntry)() = nullptr;
};

// The longest model tag a profile may have.
inline constexpr size_t kMaxModelTagLength = 32;

// True when profile names its files safely: a tag of 1 to kMaxModelTagLength
// characters that is a plain file-name part (no '/', not "." or ".."), and an
// absolute cache folder. Does not block.
bool IsUsableModelProfile(const ModelProfile* profile);

// Sets the process's profile (not owned; it must outlive its use). Call once
// at start, before any thread uses it. Does not block.
void SetModelProfile(const ModelProfile* profile);

// The process's profile; null until one is set. Does not block.
const ModelProfile* GetModelProfile();

// The process's profile's model tag ("TQ-58"), also its name in messages; ""
// while none is set. Does not block.
const char* GetModelTag();

// The process's profile's cache folder (a fixed path, not yet mapped by
// TQ58_FixedPath), or the layout's kTQ58CacheFolder while none is set.
// Does not block.
const char* GetModelCacheFolder();

#endif
