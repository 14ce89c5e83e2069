// The marker files: empty files "<model tag>_<serial text><suffix>" in the
// model's cache folder (ModelProfile.h) by which the status window and the
// print dialog ask the daemon for fresh data. Three of them ask once and are
// consumed by the scan.
#ifndef TQ58_MARKERFILES_H
#define TQ58_MARKERFILES_H

struct ModelProfile;

enum MarkerFlag : int {
  kMarkerPde = 0x01,        // "_PDE_", any name beginning with it; polls while present
  kMarkerTcPde = 0x02,      // "_TC_PDE", consumed; read the total count
  kMarkerUtil = 0x04,       // "_UTIL", polls while present
  kMarkerTcUtil = 0x08,     // "_TC_UTIL", consumed; read the total count
  kMarkerStartUtil = 0x10,  // "_START_UTIL", consumed; read the total count unless status 900
};

// Scans the cache folder for the markers of serialNo: a file counts when its
// name begins with a marker's name. Removes the consumed markers it finds and
// returns the OR of the flags found; 0 when there are none, when the folder
// cannot be listed, or when serialNo is null or not a safe serial text.
// The names and the folder are profile's; 0 for a profile that is not
// usable (IsUsableModelProfile) or names too long for a marker. The form
// without a profile uses the process's (GetModelProfile). Blocks on the file
// system only.
int pdeFileCheck(const ModelProfile* profile, const char* serialNo);
int pdeFileCheck(const char* serialNo);

// The same scan without removing anything: what the daemon's next pass will
// find (the backend looks, to leave the daemon its turn between prints).
// Blocks on the file system only.
int GetMarkerFlags(const ModelProfile* profile, const char* serialNo);
int GetMarkerFlags(const char* serialNo);

// The markers that ask once and are consumed by the daemon's scan.
inline constexpr int kMarkersAskingOnce = kMarkerTcPde | kMarkerTcUtil | kMarkerStartUtil;

#endif
