#include "StreamSender.h"

#include <algorithm>

#include "DeviceCmd.h"
#include "DeviceRecv.h"
#include "PhotoPrinterIF.h"
#include "TextUtil.h"
#include "UsbExchange.h"

namespace {

constexpr size_t kChunk = 65536;
constexpr int kStatusReplyLength = 8;

bool IsStart(const PacketFramer::Piece& piece)
{
  return piece.ended && piece.command == "CNTRL" && piece.subcommand == "START";
}

// The printer's answer to the STATUS query behind a print: its status code,
// or kStatusFailed when no well-formed answer came. Blocks up to two read
// time-outs.
int ReadStatusAnswer(UsbInterface* intf)
{
  DeviceRecv reply(kStatusReplyLength, nullptr);
  if (intf == nullptr || deviceRead(intf, &reply) != DEVICECMD_OK) return kStatusFailed;
  return _TextToInt(reinterpret_cast<const char*>(reply.buffer) + kRecvDigits, kStatusReplyLength);
}

}  // namespace

StreamSender::StreamSender(PrinterHandle* printer, Reconnect reconnect, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel, Claim claim, Taken taken)
    : printer_(printer),
      reconnect_(std::move(reconnect)),
      claim_(std::move(claim)),
      taken_(std::move(taken)),
      status_(kStatusFailed),
      config_(config),
      cancel_(cancel)
{
  DeviceCmd query;
  if (query.MakeCmd("STATUS", nullptr, -1, nullptr) == DEVICECMD_OK) query_.assign(query.data, query.data + query.len);
  query.Free();
}

void StreamSender::StartStream()
{
  framer_.Reset();
  firstPacket_ = true;
  clock_.clear();
  print_.clear();
  keepable_ = true;
}

// Claims the printer when it was left free since the last print.
StreamSender::Write StreamSender::ClaimForPrint()
{
  if (printer_->intf != nullptr || !claim_) return Write::kDone;
  if (IsCanceled(cancel_)) return Write::kCanceled;
  const UsbStatus status = claim_(printer_);
  claimedBytes_ = 0;
  if (status == kUsbOk && printer_->intf != nullptr) return Write::kDone;
  printer_->Release();
  return IsCanceled(cancel_) ? Write::kCanceled : Write::kFailed;
}

// Writes every byte; a time-out only means the printer is busy, so the rest
// is written again until it is taken or the job is cancelled. A printer that
// has taken nothing since it was claimed is released instead (kBusy), so
// that it is not held while it is not printing. *written (when given) gets
// the bytes taken, also when the write fails.
StreamSender::Write StreamSender::WriteAll(const unsigned char* data, size_t size, size_t* written)
{
  size_t dummy = 0;
  size_t& done = written != nullptr ? *written : dummy;
  done = 0;
  while (done < size) {
    if (IsCanceled(cancel_)) return Write::kCanceled;
    if (printer_->intf == nullptr) return Write::kFailed;
    const int chunk = static_cast<int>(std::min(size - done, kChunk));
    int transferred = 0;
    const UsbStatus status = printer_->intf->BulkWrite(data + done, chunk, config_.writeTimeoutMs, &transferred);
    transferred = std::clamp(transferred, 0, chunk);
    done += static_cast<size_t>(transferred);
    claimedBytes_ += static_cast<size_t>(transferred);
    if (status == kUsbTimeout && claimedBytes_ == 0 && claim_) {
      printer_->Release();
      return Write::kBusy;
    }
    if (status != kUsbOk && status != kUsbTimeout) return Write::kFailed;
  }
  return Write::kDone;
}

// The bytes that end a print, the STATUS query behind them in one write, and
// its answer. Once the print's last byte is taken the print is the
// printer's: a printer gone before the query or its answer only leaves the
// status unknown (and is found gone at the next print's claim).
StreamSender::Write StreamSender::WriteEndOfPrint(const unsigned char* data, size_t size)
{
  const size_t tail = std::min<size_t>(size, kDeviceCmdHeaderSize);
  Write written = WriteAll(data, size - tail);
  if (written != Write::kDone) return written;
  std::vector<unsigned char> last(data + size - tail, data + size);
  last.insert(last.end(), query_.begin(), query_.end());
  size_t taken = 0;
  written = WriteAll(last.data(), last.size(), &taken);
  if (taken < tail) return written;
  status_ = written == Write::kDone ? ReadStatusAnswer(printer_->intf.get()) : kStatusFailed;
  return Write::kDone;
}

StreamSender::Write StreamSender::WriteOnce(const unsigned char* data, size_t size, bool endsPrint)
{
  Write written = ClaimForPrint();
  if (written != Write::kDone) return written;
  written = endsPrint ? WriteEndOfPrint(data, size) : WriteAll(data, size);
  // The print is in the printer: it is left free until the next one.
  if (written == Write::kDone && endsPrint && claim_) printer_->Release();
  return written;
}

// After a reconnect or a busy printer: the clock packet and the print under
// way again from their start.
StreamSender::Write StreamSender::WriteAgain(bool endsPrint)
{
  Write written = ClaimForPrint();
  if (written == Write::kDone) written = WriteAll(clock_.data(), clock_.size());
  return written == Write::kDone ? WriteOnce(print_.data(), print_.size(), endsPrint) : written;
}

StreamSender::Result StreamSender::WriteReconnecting(const unsigned char* data, size_t size, bool endsPrint)
{
  // print_ already holds these bytes: after a reconnect the clock packet and
  // the print under way go out again from their start.
  bool again = false;
  for (;;) {
    const Write written = again ? WriteAgain(endsPrint) : WriteOnce(data, size, endsPrint);
    if (written == Write::kDone) return Result::kOk;
    if (written == Write::kCanceled) return Result::kCanceled;
    if (written == Write::kFailed) {
      if (!keepable_ || !reconnect_ || !reconnect_(printer_))
        return IsCanceled(cancel_) ? Result::kCanceled : Result::kLost;
      claimedBytes_ = 0;  // claimed anew, nothing of the print taken
      again = true;
    }
    // kBusy: nothing went out since the claim; the next try claims the printer again.
  }
}

void StreamSender::Keep(const unsigned char* data, size_t size)
{
  if (!keepable_) return;
  if (print_.size() + size > config_.maxResendBytes) {
    keepable_ = false;
    print_.clear();
    print_.shrink_to_fit();
    return;
  }
  print_.insert(print_.end(), data, data + size);
}

void StreamSender::PacketEnded(const PacketFramer::Piece& piece)
{
  const bool first = firstPacket_;
  firstPacket_ = false;
  if (first && piece.command == "CNTRL" && piece.subcommand == "SET_SYS_TIME" && keepable_) {
    clock_.swap(print_);
    print_.clear();
  } else if (IsStart(piece)) {
    ++printsSent_;
    print_.clear();
    keepable_ = true;
    if (taken_) taken_(printsSent_, status_);
  }
}

StreamSender::Result StreamSender::Send(const unsigned char* data, size_t size)
{
  while (size > 0) {
    const PacketFramer::Piece piece = framer_.Take(data, size);
    Keep(data, piece.size);
    const Result result = WriteReconnecting(data, piece.size, IsStart(piece));
    if (result != Result::kOk) return result;
    if (piece.ended) PacketEnded(piece);
    data += piece.size;
    size -= piece.size;
  }
  return Result::kOk;
}
