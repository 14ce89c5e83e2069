// The cache folders shared by the daemon and the status window.
#ifndef TQ58_CACHEFOLDER_H
#define TQ58_CACHEFOLDER_H

// The maker's folder, parent of the cache folder (kTQ58CacheFolder).
inline constexpr const char* kTQ58MakerCacheFolder = "/Library/Caches/Pellori";

// Makes sure the maker's folder and the cache folder exist. A folder this call
// creates gets mode 0777; an existing folder is left as it is. Failures are
// passed over. Blocks on the file system only.
void CheckAndMake_CacheFolder();

// Makes sure the cache folder exists (mode 0777 when created here). Called by
// CheckAndMake_CacheFolder. Blocks on the file system only.
void CheckAndMake_CacheSubFolder();

#endif
