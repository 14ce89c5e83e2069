#include "PacketFramer.h"

#include <algorithm>
#include <cstring>

#include "PacketHeader.h"

void PacketFramer::Reset()
{
  headerFill_ = 0;
  payloadLeft_ = 0;
  command_.clear();
  subcommand_.clear();
}

void PacketFramer::ReadHeader()
{
  PacketHeader header;
  const bool ok = TQ58_ParsePacketHeader(header_, &header) == PacketHeaderCheck::kOk;
  command_ = std::move(header.command);
  subcommand_ = std::move(header.subcommand);
  payloadLeft_ = ok ? header.payloadSize : 0;
}

PacketFramer::Piece PacketFramer::Take(const unsigned char* data, size_t size)
{
  Piece piece;
  if (data == nullptr || size == 0) return piece;
  if (headerFill_ < sizeof header_) {
    piece.size = std::min(size, sizeof header_ - headerFill_);
    std::memcpy(header_ + headerFill_, data, piece.size);
    headerFill_ += piece.size;
    if (headerFill_ < sizeof header_) return piece;
    ReadHeader();
  } else {
    piece.size = static_cast<size_t>(std::min<uint64_t>(size, payloadLeft_));
    payloadLeft_ -= piece.size;
  }
  if (payloadLeft_ == 0) {
    piece.ended = true;
    piece.command = command_;
    piece.subcommand = subcommand_;
    headerFill_ = 0;
  }
  return piece;
}
