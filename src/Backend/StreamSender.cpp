#include "StreamSender.h"

#include <algorithm>

#include "DeviceCmd.h"
#include "DeviceRecv.h"
#include "UsbExchange.h"

namespace {

constexpr size_t kChunk = 65536;
constexpr int kStatusReplyLength = 8;

bool IsStart(const PacketFramer::Piece& piece)
{
  return piece.ended && piece.command == "CNTRL" && piece.subcommand == "START";
}

}  // namespace

StreamSender::StreamSender(PrinterHandle* printer, Reconnect reconnect, const BackendConfig& config,
                           const volatile sig_atomic_t* cancel)
    : printer_(printer), reconnect_(std::move(reconnect)), config_(config), cancel_(cancel)
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

// Writes every byte; a time-out only means the printer is busy, so the rest
// is written again until it is taken or the job is cancelled.
StreamSender::Write StreamSender::WriteAll(const unsigned char* data, size_t size)
{
  size_t done = 0;
  while (done < size) {
    if (IsCanceled(cancel_)) return Write::kCanceled;
    if (printer_->intf == nullptr) return Write::kFailed;
    const int chunk = static_cast<int>(std::min(size - done, kChunk));
    int transferred = 0;
    const UsbStatus status = printer_->intf->BulkWrite(data + done, chunk, config_.writeTimeoutMs, &transferred);
    done += static_cast<size_t>(std::clamp(transferred, 0, chunk));
    if (status != kUsbOk && status != kUsbTimeout) return Write::kFailed;
  }
  return Write::kDone;
}

// The bytes that end a print, the STATUS query behind them in one write, and
// its answer. Only a printer gone before it answered fails the print; a
// malformed or late answer still shows the printer took the print.
StreamSender::Write StreamSender::WriteEndOfPrint(const unsigned char* data, size_t size)
{
  const size_t tail = std::min<size_t>(size, kDeviceCmdHeaderSize);
  Write written = WriteAll(data, size - tail);
  if (written != Write::kDone) return written;
  std::vector<unsigned char> last(data + size - tail, data + size);
  last.insert(last.end(), query_.begin(), query_.end());
  written = WriteAll(last.data(), last.size());
  if (written != Write::kDone) return written;
  DeviceRecv reply(kStatusReplyLength, nullptr);
  return deviceRead(printer_->intf.get(), &reply) == DEVICECMD_ERR_PLATFORM ? Write::kFailed : Write::kDone;
}

StreamSender::Write StreamSender::WriteOnce(const unsigned char* data, size_t size, bool endsPrint)
{
  return endsPrint ? WriteEndOfPrint(data, size) : WriteAll(data, size);
}

StreamSender::Result StreamSender::WriteReconnecting(const unsigned char* data, size_t size, bool endsPrint)
{
  Write written = WriteOnce(data, size, endsPrint);
  // print_ already holds these bytes: after a reconnect the clock packet and
  // the print under way go out again from their start.
  while (written == Write::kFailed) {
    if (!keepable_ || !reconnect_ || !reconnect_(printer_)) return IsCanceled(cancel_) ? Result::kCanceled : Result::kLost;
    written = WriteAll(clock_.data(), clock_.size());
    if (written == Write::kDone) written = WriteOnce(print_.data(), print_.size(), endsPrint);
  }
  return written == Write::kDone ? Result::kOk : Result::kCanceled;
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
