// The command exchange with the printer: one command packet out on the bulk
// OUT pipe, one length-prefixed reply back on the IN pipe. Every function
// blocks the calling thread in its transfers; an interface is used by one
// thread at a time.
//
// Result codes: 0 success, 1 the platform refused an operation or the printer
// is gone, 2 out of memory, 3 a bad argument or a malformed reply.
#ifndef TQ58_USBEXCHANGE_H
#define TQ58_USBEXCHANGE_H

#include "DeviceCmd.h"
#include "DeviceRecv.h"
#include "UsbTransport.h"

constexpr unsigned kUsbWriteTimeoutMs = 1000;
constexpr unsigned kUsbReadTimeoutMs = 10000;

// One bulk write of size bytes. *written gets size once the write ran, even
// when it timed out (the printer is then not listening and the read that
// follows fails). Returns 0, or 1 when it could not run. Blocks up to timeoutMs.
int USB_Write(UsbInterface* intf, const unsigned char* data, int size, int* written,
              unsigned timeoutMs = kUsbWriteTimeoutMs);

// One bulk read of size bytes. Bytes that did not come before the time-out are
// set to 0. Returns 0 (also after a time-out), or 1 when it could not run or
// the printer is gone. Blocks up to timeoutMs.
int USB_Read(UsbInterface* intf, unsigned char* buffer, int size, unsigned timeoutMs = kUsbReadTimeoutMs);

// Writes a whole buffer in chunks: all that remains when 511 bytes or fewer
// remain, else the remainder less 256, at most 65536; so a long buffer always
// ends with a chunk of 256 to 511 bytes. Returns 0, 1, or 3 for a null
// argument or size <= 0. Blocks.
int deviceWrite(UsbInterface* intf, const unsigned char* data, int size);
// The packet's bytes. Returns as above (3 for a packet that was never built).
int deviceWrite(UsbInterface* intf, const DeviceCmd& command);

// Reads one reply into buffer (bufferLength bytes): the eight length digits,
// then that many data bytes. Returns 0, 1, or 3 for bad arguments, a length
// field that is not eight digits, or a length of 0 or above bufferLength - 8.
// Blocks up to two read time-outs.
int deviceRead(UsbInterface* intf, unsigned char* buffer, int bufferLength);
// Allocates the holder's buffer and reads into its view. Returns 0, 1, 2 or 3.
int deviceRead(UsbInterface* intf, DeviceRecv* response);

// One complete exchange: write command, read the reply into response, check
// it. Returns 0, 1, 2 or 3. Blocks up to one write and two read time-outs.
int DeviceIO(UsbInterface* intf, const DeviceCmd& command, DeviceRecv* response);

#endif
