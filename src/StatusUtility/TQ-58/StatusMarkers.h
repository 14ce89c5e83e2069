// The marker files the status window keeps in the cache folder for the status
// daemon, and the path of the printer's information file.
#ifndef TQ58_STATUSMARKERS_H
#define TQ58_STATUSMARKERS_H

#include <string>

// The window's three markers.
enum class StatusMarker {
  kUtil,       // "_UTIL": present while the window runs
  kStartUtil,  // "_START_UTIL": once, when launching has finished
  kTcUtil,     // "_TC_UTIL": at each press of the update button
};

// Marker paths are held in buffers of this size.
inline constexpr size_t kMarkerPathSize = 128;

// Why a serial text cannot name the window's files; nullptr when it can. It must
// not be empty, must not hold "/", and its longest marker path below the
// installed cache folder must fit kMarkerPathSize (GetLongestSerialText bytes).
const char* GetSerialTextProblem(const std::string& serialNo);

// The longest serial text whose markers fit kMarkerPathSize below the installed
// cache folder (85 bytes below /var/cache/pellori/TQ-58).
size_t GetLongestSerialText();

// Full path of a marker or of the information file ("<model tag>_" + serial +
// ".log", the process's model profile giving tag and folder),
// below the cache folder as TQ58_ROOT maps it.
std::string GetMarkerPath(const std::string& serialNo, StatusMarker marker);
std::string GetInfoFilePath(const std::string& serialNo);

// Creates the cache folders when missing, then the marker as an empty file with
// mode 0666, truncating one that exists. A symbolic link or FIFO at the path is
// not followed or waited on. True when the marker file was made; failures are
// otherwise passed over. Blocks on the file system only.
bool CreateMarker(const std::string& serialNo, StatusMarker marker);

// True when something exists at the marker's path. Blocks on the file system only.
bool IsMarkerPresent(const std::string& serialNo, StatusMarker marker);

// Deletes the marker; the result is ignored. Blocks on the file system only.
void RemoveMarker(const std::string& serialNo, StatusMarker marker);

#endif
