// The holder of one length-prefixed printer reply: eight ASCII decimal digits
// giving the data length N, then N bytes of data. It owns the receive buffer,
// checks a received reply (CheckData) and extracts its text.
#ifndef TQ58_DEVICERECV_H
#define TQ58_DEVICERECV_H

#include <cstddef>

constexpr int kRecvDigits = 8;           // the length field
constexpr int kRecvVariableView = 4096;  // the view of a variable-length reply
constexpr int kRecvPrefixMax = 31;

class DeviceRecv {
public:
  unsigned char* buffer = nullptr;  // zero-filled receive buffer (owned), or null
  int length = 0;                   // expected data length; -1 variable (up to 4088), 0 no data
  char prefix[kRecvPrefixMax + 1];  // text expected at the start of the data; empty: no check

  // length as above; prefix copied (cut to 31 characters), empty for null.
  DeviceRecv(int length, const char* prefix);
  ~DeviceRecv() { Free(); }
  DeviceRecv(const DeviceRecv&) = delete;
  DeviceRecv& operator=(const DeviceRecv&) = delete;

  // The view, the extent that reads, checks and extraction look at: 4096 for
  // length -1, 0 for 0 (and for lengths below -1, which are not valid), else length + 8.
  int GetBufferLength() const;

  // Releases any buffer and allocates a zero-filled one: 4098 bytes for -1,
  // length + 10 otherwise, none for 0. Returns 0, 2 out of memory, 3 for a
  // length below -1. Does not block.
  int Alloc();

  // Releases the buffer; it becomes null. Returns 0.
  int Free();

  // Checks a received reply: 0 when its data holds a carriage return or stops
  // short of the view, and begins with the prefix; else 3. Does not block.
  int CheckData() const;

  // Copies the reply text (the data after the length and the prefix, up to a
  // carriage return, else a NUL, else the end of the view) into destination,
  // cut to destinationSize - 1 bytes and terminated. destination is emptied
  // first. Returns 0, or 3 for a null or empty destination or a missing buffer.
  int GetEffectiveDataAsString(char* destination, size_t destinationSize) const;
};

#endif
