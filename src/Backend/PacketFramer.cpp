#include "PacketFramer.h"

#include <algorithm>
#include <cstring>

#include "DeviceCmd.h"

namespace {

std::string Field(const unsigned char* p, size_t n)
{
  std::string text(reinterpret_cast<const char*>(p), n);
  const size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

void PacketFramer::Reset()
{
  headerFill_ = 0;
  payloadLeft_ = 0;
  command_.clear();
  subcommand_.clear();
}

void PacketFramer::ReadHeader()
{
  command_.clear();
  subcommand_.clear();
  payloadLeft_ = 0;
  if (header_[0] != 0x1B || header_[1] != 'P') return;
  bool spaces = true, digits = true;
  uint64_t n = 0;
  for (size_t i = 24; i < 32; ++i) {
    spaces = spaces && header_[i] == ' ';
    digits = digits && header_[i] >= '0' && header_[i] <= '9';
    if (digits) n = n * 10 + (header_[i] - '0');
  }
  if (!spaces && !digits) return;
  command_ = Field(header_ + 2, kDeviceCmdNameSize);
  subcommand_ = Field(header_ + 2 + kDeviceCmdNameSize, kDeviceCmdSubSize);
  payloadLeft_ = spaces ? 0 : n;
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
