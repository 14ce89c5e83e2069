// The printer application's system: made from the server's command-line
// options (port, listening address, spool folder, log, state file), with the
// TQ-58 driver, its callbacks and auto-add. papplMainloop calls it.
#ifndef TQ58_PRINTERAPP_APPSYSTEM_H
#define TQ58_PRINTERAPP_APPSYSTEM_H

#include <pappl/pappl.h>

// The application's one driver.
extern pappl_pr_driver_t gAppDrivers[1];

// The system for "server": options are the "-o name=value" pairs. Null when
// it cannot be made. Blocks briefly (loads the state file).
pappl_system_t* MakeAppSystem(int numOptions, cups_option_t* options, void* data);

// PAPPL leaves the server's control socket behind when the server ends, and
// the next server cannot listen there: the sub-commands would then find no
// server. Removes our own socket when nobody answers on it (never a link or a
// file of another user); called as a server starts and after it ended.
// system: for the log, or null. Blocks briefly.
void RemoveStaleControlSocket(pappl_system_t* system);

// The driver for a USB device whose IEEE 1284 device ID names the TQ-58, null
// for any other device or while the status daemon serves the TQ-58s (one
// printer is served by one of the two; said on standard error). With
// TQ58_EMULATED_USB set only emulated printers are taken. data: the system
// (for its log) or null. Blocks on /proc only.
const char* GetAutoAddDriver(const char* deviceInfo, const char* deviceUri, const char* deviceId, void* data);

// PAPPL's driver callback: the TQ-58's driver data and callbacks. Does not block.
bool SetAppDriver(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                  pappl_pr_driver_data_t* data, ipp_t** attrs, void* context);

#endif
