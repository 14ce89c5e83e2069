// The emulated USB bus as a PAPPL device scheme, "tq58emu://bus/<name>": the
// printers plugged into the folder named by TQ58_EMULATED_USB are listed with
// their IEEE 1284 device IDs and opened, claimed and written to as the
// backend does over that bus, so the app runs and is tested without hardware.
// They count as USB devices (PAPPL's device list, auto-add).
#ifndef TQ58_PRINTERAPP_EMULATEDDEVICE_H
#define TQ58_PRINTERAPP_EMULATEDDEVICE_H

#include <pappl/pappl.h>

#include <string>

inline constexpr const char* kEmulatedScheme = "tq58emu";

// Registers the scheme with PAPPL. Does not block.
void AddEmulatedDeviceScheme();

// The device URI of the emulated printer in folder name.
std::string GetEmulatedDeviceUri(const std::string& name);

#endif
