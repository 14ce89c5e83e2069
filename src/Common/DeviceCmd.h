// One printer command packet: a 32-byte text header and an optional payload.
//
//   offset 0   0x1B 0x50
//   offset 2   command name, 6 characters, space-filled
//   offset 8   subcommand, 16 characters, space-filled
//   offset 24  payload length "%08d", or 8 spaces without payload
//   offset 32  payload
//
// The same class builds the filter's settings packets and the daemon's queries.
#ifndef TQ58_DEVICECMD_H
#define TQ58_DEVICECMD_H

#include <cstddef>

enum {
  DEVICECMD_OK = 0,
  DEVICECMD_ERR_PLATFORM = 1,
  DEVICECMD_ERR_NO_MEMORY = 2,
  DEVICECMD_ERR_INVALID = 3,
};

constexpr int kDeviceCmdHeaderSize = 32;
constexpr int kDeviceCmdNameSize = 6;
constexpr int kDeviceCmdSubSize = 16;

class DeviceCmd {
public:
  unsigned char* data = nullptr;  // finished packet (owned), or null
  int len = 0;                    // packet length in bytes, 0 without packet

  // Builds a packet, releasing any packet held before. There is a payload only
  // when n > 0 and payload is non-null. Returns 0 built, 2 out of memory,
  // 3 invalid arguments (name > 6 or subcommand > 16 characters, payload
  // without subcommand, n above 99,999,999). After 2 or 3 no packet is held.
  // The buffer has two zero bytes past the end that are not part of the packet.
  // Does not block.
  int MakeCmd(const char* name, const char* subcommand, int n, const void* payload);

  // Releases the packet; data becomes null and len 0. Returns 0.
  int Free();
};

#endif
