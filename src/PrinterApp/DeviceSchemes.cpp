#include "DeviceSchemes.h"

#include "EmulatedDevice.h"
#include "UsbDeviceScheme.h"

void AddDeviceSchemes()
{
  // PAPPL makes its own schemes (usb, dnssd, snmp, socket, file) only while
  // no scheme is registered, so with these they are left out, on purpose:
  // PAPPL 1.3's DNS-SD listing aborts the program where no Avahi daemon runs
  // ("devices", the Add Printer page), and a TQ-58 is a USB printer, reached
  // here through the transport the backend and the daemon use.
  AddUsbDeviceScheme();
  AddEmulatedDeviceScheme();
}
