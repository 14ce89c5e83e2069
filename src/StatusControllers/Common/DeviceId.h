// The printer's IEEE 1284 device ID (the USB printer class GET_DEVICE_ID
// request) and the model name in it.
#ifndef TQ58_DEVICEID_H
#define TQ58_DEVICEID_H

#include <cstddef>
#include <string>

#include "UsbTransport.h"

constexpr unsigned kDeviceIdTimeoutMs = 5000;
constexpr int kDeviceIdFirstLength = 256;  // reply buffer of the first request

// Asks the interface for its device ID: wValue is configuration - 1 (8 bits),
// wIndex interfaceNumber * 256, first with a 256-byte buffer and, when the
// reply's length field is 255 or more, once more with a buffer of that length.
// *id gets the ID text (the bytes after the 2-byte big-endian length field,
// cut to what was received). False when there is none: the request failed,
// the length field is below 3, or the text is not UTF-8. Blocks up to two
// time-outs.
bool GetDeviceId(UsbInterface* intf, int configuration, int interfaceNumber, std::string* id,
                 unsigned timeoutMs = kDeviceIdTimeoutMs);

// The device ID of the interface's own configuration and number (as
// GetDeviceId). False when the interface tells neither or gives no ID.
// Blocks up to two time-outs.
bool GetInterfaceDeviceId(UsbInterface* intf, std::string* id, unsigned timeoutMs = kDeviceIdTimeoutMs);

// The model in a device ID: the value of the first piece (split at ";") that
// begins with "MDL:" or "MODEL:" (either case). A piece that begins with the
// key gives its rest trimmed of white space at both ends; a piece that begins
// with the key only after its leading white space gives the rest untrimmed.
// Copies it into model (at most modelSize - 1 bytes, cut at a character
// boundary). False when no piece has a key. Does not block.
bool GetModelFromDeviceId(const std::string& id, char* model, size_t modelSize);

#endif
