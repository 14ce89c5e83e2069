// The printer queries: each sends one command packet without payload and
// reads one reply (UsbExchange.h), and the table from status code to message
// code. Every query blocks the calling thread in its exchange (up to one write
// and two read time-outs).
#ifndef TQ58_PHOTOPRINTERIF_H
#define TQ58_PHOTOPRINTERIF_H

#include <climits>
#include <cstddef>

#include "UsbTransport.h"

constexpr int kStatusFailed = INT_MIN;  // GetStatus when there is no status

// STATUS: the status code at the start of the reply data (read like atoi), or
// kStatusFailed when intf is null or the exchange failed.
int GetStatus(UsbInterface* intf);

// The text queries. Each empties destination (when not null), then copies the
// reply text into it, cut to destinationSize - 1 bytes. Returns the length of
// the text, or -1 when intf or destination is null, destinationSize is 0, or
// the exchange failed.
long GetFirmVersion(UsbInterface* intf, char* destination, size_t destinationSize);      // INFO FVER
long GetMediaSize(UsbInterface* intf, char* destination, size_t destinationSize);        // INFO MEDIA
long GetMediaClass(UsbInterface* intf, char* destination, size_t destinationSize);       // INFO MEDIA_CLASS_RFID
long GetMediaInitial(UsbInterface* intf, char* destination, size_t destinationSize);     // INFO MQTY_DEFAULT
long GetMediaRemain(UsbInterface* intf, char* destination, size_t destinationSize);      // INFO MQTY
long GetMediaRemainHalf(UsbInterface* intf, char* destination, size_t destinationSize);  // INFO RQTY
long GetTotalCount(UsbInterface* intf, char* destination, size_t destinationSize);       // MNT_RD COUNTER_LIFE

// INFO SERIAL_NUMBER as the serial text (SerialText.h): spaces as "%20", cut to
// destinationSize - 1 bytes. A serial number that could name a file outside
// the cache folder ("/", "." or "..", a control byte, invalid UTF-8) counts
// as unreadable: -1 with destination empty.
long GetSerialNo(UsbInterface* intf, char* destination, size_t destinationSize);

// The message code for a status code, or -1 when the status has none. Does not block.
int GetMessage(int status);

#endif
