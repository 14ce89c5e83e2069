#include "PollingPass.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "CacheWatch.h"
#include "DeviceId.h"
#include "MarkerFiles.h"
#include "ModelProfile.h"
#include "PhotoPrinterIF.h"
#include "PrinterInfoFile.h"

namespace {

// The model whose names and folder the pass uses.
const ModelProfile* ProfileOf(const thdata* rec)
{
  return rec->profile != nullptr ? rec->profile : GetModelProfile();
}

constexpr int kCountNow = kMarkerTcPde | kMarkerTcUtil;  // count read before the status
constexpr int kStatusNoCountAtStart = 900;

// Copies value into field up to its first control byte, so that a reply can
// never start a line of its own in the file; other bytes are kept as sent.
void SetReplyValue(char* field, size_t fieldSize, const char* value)
{
  size_t n = 0;
  while (n + 1 < fieldSize && value[n] != '\0' && static_cast<unsigned char>(value[n]) >= 0x20 && value[n] != 0x7F) ++n;
  std::memcpy(field, value, n);
  field[n] = '\0';
}
template <size_t N>
void SetReplyValue(char (&field)[N], const char* value)
{
  SetReplyValue(field, N, value);
}

// A text query into field; a failed one leaves it empty.
template <size_t N>
void Query(long (*query)(UsbInterface*, char*, size_t), UsbInterface* intf, char (&field)[N])
{
  char reply[kInfoValueSize];
  if (query(intf, reply, sizeof reply) < 0) reply[0] = '\0';
  SetReplyValue(field, reply);
}

// Reads the serial text; an empty one names no printer and counts as a failed read.
bool ReadSerialNo(UsbInterface* intf, thdata* rec)
{
  return GetSerialNo(intf, rec->serialNo, sizeof rec->serialNo) >= 0 && rec->serialNo[0] != '\0';
}

// Step 3 of an interface's work: the serial number, read at most twice.
void LearnSerialNo(UsbInterface* intf, thdata* rec)
{
  if (!rec->serialKnown) {
    bool ok = ReadSerialNo(intf, rec);
    if (!ok && !WaitForStop(rec, GetDaemonConfig().serialRetryMs)) ok = ReadSerialNo(intf, rec);
    if (!ok) return;
    rec->serialKnown = true;
  }
  std::printf("serial %s\n", rec->serialNo);
}

// Step 4: the model from the device ID.
void LearnModel(UsbInterface* intf, thdata* rec)
{
  std::string id;
  if (!GetInterfaceDeviceId(intf, &id, GetDaemonConfig().deviceIdTimeoutMs)) return;
  if (GetModelFromDeviceId(id, rec->model, sizeof rec->model)) rec->modelKnown = true;
}

}  // namespace

void WriteFile(UsbInterface* intf, thdata* rec)
{
  if (intf == nullptr || rec == nullptr) return;
  const int flags = rec->markerFlags;
  PrinterInfo info;
  SetReplyValue(info.model, rec->model);
  SetInfoValue(info.serialNo, rec->serialNo);
  char count[kInfoValueSize] = {};
  bool countHeld = (flags & kCountNow) != 0 && GetTotalCount(intf, count, sizeof count) >= 0;
  info.status = GetStatus(intf);
  if (info.status == kStatusFailed) info.status = kStatusMissing;
  if (!countHeld && info.status != kStatusNoCountAtStart && (flags & kMarkerStartUtil) != 0) {
    countHeld = GetTotalCount(intf, count, sizeof count) >= 0;
  }
  Query(GetFirmVersion, intf, info.firmVersion);
  Query(GetMediaSize, intf, info.mediaSize);
  Query(GetMediaClass, intf, info.mediaClass);
  Query(GetMediaInitial, intf, info.mediaInitial);
  Query(GetMediaRemain, intf, info.mediaRemain);
  if (flags != 0 && countHeld) SetReplyValue(info.totalCount, count);
  char text[kInfoTextSize];
  if (ComposeInfoFile(info, text, sizeof text) < 0) return;
  WriteInfoFile(ProfileOf(rec), rec->serialNo, text);
}

UsbStatus dealWithInterface(UsbDevice* device, int index, thdata* rec)
{
  std::unique_ptr<UsbInterface> intf;
  const UsbStatus status = device->OpenInterface(index, &intf);
  if (status != kUsbOk || intf == nullptr) return status == kUsbOk ? kUsbRefused : status;
  // The printer is ours for this pass: the markers are taken up now (the
  // one-time ones removed), so that none is lost to a pass that could not claim it.
  if (rec->serialKnown) rec->markerFlags |= pdeFileCheck(ProfileOf(rec), rec->serialNo);
  LearnSerialNo(intf.get(), rec);
  if (!rec->modelKnown) LearnModel(intf.get(), rec);
  if (rec->serialKnown && rec->modelKnown) {
    const DaemonConfig& config = GetDaemonConfig();
    if (!rec->queueRegistered && config.queueStep) config.queueStep(rec);
    WriteFile(intf.get(), rec);
  }
  return kUsbOk;  // destroying the interface releases it
}

bool RunPollingPass(thdata* rec)
{
  // The markers are looked at here and taken up once the printer is claimed
  // (dealWithInterface): a printer claimed by another program (the backend,
  // printing) leaves them in place for the next pass.
  const int flags = rec->serialKnown ? GetMarkerFlags(ProfileOf(rec), rec->serialNo) : rec->markerFlags;
  rec->markerFlags = flags;
  // Nobody asks for data and the queue exists: the printer is left alone.
  rec->leftAlone = flags == 0 && rec->queueRegistered;
  if (rec->leftAlone) return false;
  bool claimed = false, refused = false;
  const UsbStatus status = rec->bus->OpenDevice(rec->service, &rec->device);
  if (status != kUsbOk || rec->device == nullptr) {
    std::printf("thread_function: unable to open device. ret = %08x\n", static_cast<unsigned>(status));
  } else {
    const int count = rec->device->GetInterfaceCount();
    if (count <= 0) std::puts("thread_function: unable to create interface iterator");
    UsbStatus gone = kUsbOk;
    for (int i = 0; i < count; ++i) {
      const UsbStatus dealt = dealWithInterface(rec->device.get(), i, rec);
      claimed = claimed || dealt == kUsbOk;
      refused = refused || dealt == kUsbRefused;
      if (dealt == kUsbNoDevice) gone = kUsbNoDevice;
    }
    // Closing reports nothing of its own: a printer found gone when an
    // interface was opened is reported as the close that failed. One that goes
    // later shows in its file (the failed queries), not in the log.
    rec->device.reset();
    if (gone != kUsbOk) std::printf("thread_function: error closing device - %08x\n", static_cast<unsigned>(gone));
    refused = refused && gone == kUsbOk;
  }
  // Busy is no fault: the information file stays as it is. A pass that failed
  // otherwise uses up the one-time markers it found, unanswered.
  const bool busy = refused && !claimed;
  if (!claimed && !busy && flags != 0) pdeFileCheck(ProfileOf(rec), rec->serialNo);
  // Asked once and answered: the next pass has nothing to do until a marker comes.
  rec->leftAlone = claimed && rec->queueRegistered && (rec->markerFlags & ~kMarkersAskingOnce) == 0;
  rec->markerFlags = 0;
  return busy;
}

int thread_function(thdata* rec)
{
  while (IsRecordRunning(rec)) {
    // Noted before the pass looks for markers, so that one made during the pass ends the wait at once.
    const uint64_t changes = GetCacheChanges();
    const bool busy = RunPollingPass(rec);
    const DaemonConfig& config = GetDaemonConfig();
    const bool idle = !busy && rec->leftAlone && IsCacheWatchActive();
    const bool stopped = idle ? WaitForStopOrChange(rec, config.idlePassMs, changes)
                              : WaitForStop(rec, busy ? config.busyRetryMs : config.passIntervalMs);
    if (stopped) break;
  }
  // A printer whose serial number was never read has no file to leave.
  WriteFile(ProfileOf(rec), rec->serialKnown ? rec->serialNo : nullptr);
  rec->device.reset();
  return 0;
}
