// Sends the filter's command stream to the printer's bulk OUT pipe and keeps
// what it needs to carry on when the printer is unplugged and plugged in
// again: the clock packet that opens the stream and every byte of the print
// in progress (all that followed the last confirmed CNTRL START). After a
// reconnect the clock packet and that print are sent again from their start,
// so the print under way is neither lost nor printed twice, and finished
// prints are not repeated.
//
// A print counts as finished once the printer has answered a STATUS query
// sent right behind its CNTRL START (in the same write): the printer answers
// a command only after taking everything before it. A write alone proves
// less on the emulated bus, where it completes once the socket has the bytes.
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

  StreamSender(PrinterHandle* printer, Reconnect reconnect, const BackendConfig& config,
               const volatile sig_atomic_t* cancel);

  // Sends size bytes of the stream, reconnecting as needed. kLost when the
  // printer did not come back, or the print under way was too large to keep
  // for sending again. Blocks until the bytes are written.
  Result Send(const unsigned char* data, size_t size);

  // A new stream begins (the next copy of a job file).
  void StartStream();

  // Prints sent whole (CNTRL START taken by the printer).
  int GetPrintsSent() const { return printsSent_; }

private:
  enum class Write { kDone, kFailed, kCanceled };
  Write WriteAll(const unsigned char* data, size_t size);
  Write WriteEndOfPrint(const unsigned char* data, size_t size);
  Write WriteOnce(const unsigned char* data, size_t size, bool endsPrint);
  Result WriteReconnecting(const unsigned char* data, size_t size, bool endsPrint);
  void Keep(const unsigned char* data, size_t size);
  void PacketEnded(const PacketFramer::Piece& piece);

  PrinterHandle* printer_;
  Reconnect reconnect_;
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
