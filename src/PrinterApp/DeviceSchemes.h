// The device URI schemes the application offers: the USB printers of the
// model (usb://) and the emulated bus (tq58emu://).
#ifndef TQ58_PRINTERAPP_DEVICESCHEMES_H
#define TQ58_PRINTERAPP_DEVICESCHEMES_H

// Registers the schemes with PAPPL; call once, before papplMainloop. Does not block.
void AddDeviceSchemes();

#endif
