// Sends the filter's command stream to the printer's bulk OUT pipe and keeps
// what it needs to carry on when the printer is unplugged and plugged in
// again: the clock packet that opens the stream and every byte of the print
// in progress (all that followed the last confirmed CNTRL START). After a
// reconnect the clock packet and that print are sent again from their start,
// so the print under way is neither lost nor printed twice, and finished
// prints are not repeated.
//
// A print is the printer's once it has taken the print's last byte (its
// CNTRL START) whatever becomes of the answer after it: a STATUS query goes
// right behind CNTRL START (in the same write), and its answer, the printer's
// status once it has the print, is passed on. A print whose last byte was
// taken is never sent again, even when the printer goes away before it
// answers; the print under way at a reconnect is sent again whole.
//
// Given a way to claim the printer, the sender holds the claim for one print
// at a time: it claims the printer for a print's first bytes (the stream's
// clock packet goes with the first print) and releases it once the print's
// STATUS answer is in, so that the status daemon's passes fall between
// prints and never into one. A printer that takes nothing of a print's first
// write within the time-out (still busy with the print before, or waiting
// for media) is released too and claimed again for the next try.
#ifndef TQ58_STREAMSENDER_H
#define TQ58_STREAMSENDER_H

#include <cstddef>
#include <functional>
#include <vector>

#include "BackendConfig.h"
#include "PacketFramer.h"
#include "PrinterLink.h"

class StreamSender {
public:
  enum class Result { kOk, kLost, kCanceled };
  // Called when the printer is gone: gets hold of it again in *printer. True
  // once it is open again; false when it did not come back. Blocks.
  using Reconnect = std::function<bool(PrinterHandle* printer)>;
  // Claims the printer's interface into printer->intf for the next print:
  // kUsbOk, or why not (the printer then counts as gone). Blocks.
  using Claim = std::function<UsbStatus(PrinterHandle* printer)>;
  // Called once a print is the printer's, with the prints taken so far and
  // the status the printer answered after it (kStatusFailed when no answer
  // came). Blocks as the callee does.
  using Taken = std::function<void(int printsTaken, int status)>;

  // Without claim, printer->intf stays claimed for the whole stream.
  StreamSender(PrinterHandle* printer, Reconnect reconnect, const BackendConfig& config,
               const volatile sig_atomic_t* cancel, Claim claim = nullptr, Taken taken = nullptr);

  // Sends size bytes of the stream, reconnecting as needed. kLost when the
  // printer did not come back, or the print under way was too large to keep
  // for sending again. Blocks until the bytes are written.
  Result Send(const unsigned char* data, size_t size);

  // A new stream begins (the next copy of a job file).
  void StartStream();

  // Prints the printer took whole (their CNTRL START taken).
  int GetPrintsSent() const { return printsSent_; }

private:
  // kBusy: the printer took nothing of the print's first write and was released.
  enum class Write { kDone, kFailed, kCanceled, kBusy };
  Write ClaimForPrint();
  Write WriteAll(const unsigned char* data, size_t size, size_t* written = nullptr);
  Write WriteEndOfPrint(const unsigned char* data, size_t size);
  Write WriteOnce(const unsigned char* data, size_t size, bool endsPrint);
  Write WriteAgain(bool endsPrint);
  Result WriteReconnecting(const unsigned char* data, size_t size, bool endsPrint);
  void Keep(const unsigned char* data, size_t size);
  void PacketEnded(const PacketFramer::Piece& piece);

  PrinterHandle* printer_;
  Reconnect reconnect_;
  Claim claim_;
  Taken taken_;
  int status_;               // the answer to the last print's STATUS query
  size_t claimedBytes_ = 0;  // bytes the printer took since it was claimed
  BackendConfig config_;
  const volatile sig_atomic_t* cancel_;
  PacketFramer framer_;
  std::vector<unsigned char> query_;  // the STATUS query that confirms a print
  std::vector<unsigned char> clock_;  // the stream's clock packet
  std::vector<unsigned char> print_;  // the print under way, from its first byte
  bool firstPacket_ = true;
  bool keepable_ = true;  // print_ holds the whole print under way
  int printsSent_ = 0;
};

#endif
