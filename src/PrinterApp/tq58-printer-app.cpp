// tq58-printer-app: the TQ-58 as an IPP Everywhere printer. PAPPL's main loop
// gives the sub-commands (server, add, delete, devices, drivers, printers,
// submit, status, options, shutdown); the TQ-58 driver and the emulated USB
// bus come from this program.
#include <pappl/pappl.h>

#include <cstring>

#include "AppSystem.h"
#include "DriverData.h"
#include "DeviceSchemes.h"
#include "ModelProfile.h"
#include "PhotoPrinterDeviceTQ58.h"

int main(int argc, char* argv[])
{
  SetModelProfile(&GetFilterProfileTQ58());
  AddDeviceSchemes();
  const int status = papplMainloop(argc, argv, TQ58_PACKAGE_VERSION, nullptr, 1, gAppDrivers, GetAutoAddDriver,
                                   SetAppDriver, nullptr, nullptr, MakeAppSystem, nullptr, nullptr);
  // The sub-command comes first; a server that ended leaves its socket behind.
  if (argc > 1 && std::strcmp(argv[1], "server") == 0) RemoveStaleControlSocket(nullptr);
  return status;
}
