#include "PhotoPrinterIF.h"

#include <cstring>

#include "DeviceCmd.h"
#include "DeviceRecv.h"
#include "SerialText.h"
#include "TextUtil.h"
#include "UsbExchange.h"

namespace {

constexpr int kStatusDataLength = 8;

// Sends name/subcommand and copies the reply text into destination.
long TextQuery(UsbInterface* intf, const char* name, const char* subcommand, char* destination, size_t size)
{
  if (intf == nullptr || destination == nullptr || size == 0) return -1;
  destination[0] = '\0';
  DeviceCmd command;
  command.MakeCmd(name, subcommand, -1, nullptr);
  DeviceRecv response(-1, nullptr);
  long result = -1;
  if (DeviceIO(intf, command, &response) == DEVICECMD_OK &&
      response.GetEffectiveDataAsString(destination, size) == DEVICECMD_OK) {
    result = static_cast<long>(std::strlen(destination));
  }
  command.Free();
  response.Free();
  return result;
}

struct MessageRow {
  int status;
  int message;
};

constexpr MessageRow kMessages[] = {
    {0, 1},      {1, 2},      {500, 3},    {510, 4},    {900, 5},    {1000, 100}, {1010, 101}, {1100, 102}, {1200, 103},
    {1300, 104}, {1400, 105}, {1500, 106}, {1600, 107}, {2000, 200}, {2100, 201}, {2200, 202}, {2300, 203}, {2400, 204},
    {2500, 205}, {2600, 206}, {2610, 207}, {2700, 208}, {2800, 209}, {3000, 210}, {99999, 6},
};

}  // namespace

int GetStatus(UsbInterface* intf)
{
  if (intf == nullptr) return kStatusFailed;
  DeviceCmd command;
  command.MakeCmd("STATUS", nullptr, -1, nullptr);
  DeviceRecv response(kStatusDataLength, nullptr);
  int status = kStatusFailed;
  if (DeviceIO(intf, command, &response) == DEVICECMD_OK) {
    // The view ends in zero bytes, so the number ends within the buffer.
    status = _TextToInt(reinterpret_cast<const char*>(response.buffer) + kRecvDigits, kStatusDataLength);
  }
  command.Free();
  response.Free();
  return status;
}

// The text queries, one a line: the command word and the query key.
// clang-format off
long GetFirmVersion(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "FVER", d, n); }
long GetMediaSize(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "MEDIA", d, n); }
long GetMediaClass(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "MEDIA_CLASS_RFID", d, n); }
long GetMediaInitial(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "MQTY_DEFAULT", d, n); }
long GetMediaRemain(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "MQTY", d, n); }
long GetMediaRemainHalf(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "INFO", "RQTY", d, n); }
long GetTotalCount(UsbInterface* intf, char* d, size_t n) { return TextQuery(intf, "MNT_RD", "COUNTER_LIFE", d, n); }
// clang-format on

long GetSerialNo(UsbInterface* intf, char* destination, size_t destinationSize)
{
  if (intf == nullptr || destination == nullptr || destinationSize == 0) return -1;
  destination[0] = '\0';
  char raw[kSerialRawSize];
  if (TextQuery(intf, "INFO", "SERIAL_NUMBER", raw, sizeof raw) < 0) return -1;
  return MakeSerialText(raw, destination, destinationSize < kSerialTextSize ? destinationSize : kSerialTextSize);
}

int GetMessage(int status)
{
  for (const MessageRow& row : kMessages) {
    if (row.status == status) return row.message;
  }
  return -1;
}
