// The USB bus as a PAPPL device scheme, "usb://PELLORI%20SYSTEMS/TQ-58?serial=<serial>"
// (the queue model's maker and model): the attached printers of the model
// are found, claimed and written to through the project's libusb transport,
// as the backend does, and told apart by the serial number they answer.
#ifndef TQ58_PRINTERAPP_USBDEVICESCHEME_H
#define TQ58_PRINTERAPP_USBDEVICESCHEME_H

#include <string>

inline constexpr const char* kUsbScheme = "usb";

// Registers the scheme with PAPPL. Does not block.
void AddUsbDeviceScheme();

// The device URI of the printer whose serial text is serial; empty without a
// model profile. Does not block.
std::string GetUsbDeviceUri(const std::string& serial);

#endif
