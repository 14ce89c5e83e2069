// The emulator's engine: splits a connection's bytes into packets, queues
// the answers to queries and hands the print stream on. It knows nothing of
// the transport that carries the bytes.
#include <algorithm>
#include <cstdint>

#include "EmulatorInternal.h"
#include "PacketHeader.h"

namespace tq58emu {
namespace {

constexpr size_t kLengthDigits = 8;

// Queues an answer. Its eight length digits and its data go out as two
// writes: on USB the host reads the length alone first, and a longer
// transfer would overflow that read.
void Queue(Connection* c, const tq58emu::Answer& a)
{
  Pending p;
  p.due = Clock::now() + std::chrono::milliseconds(a.delayMs);
  if (!c->out.empty()) p.due = std::max(p.due, c->out.back().due);  // answers keep their order
  p.drop = a.drop;
  if (!a.drop && a.bytes.size() > kLengthDigits) {
    Pending length = p;
    length.bytes = a.bytes.substr(0, kLengthDigits);
    c->out.push_back(std::move(length));
    p.bytes = a.bytes.substr(kLengthDigits);
  } else {
    p.bytes = a.bytes;
  }
  c->out.push_back(std::move(p));
}

void Answer(Printer* printer, Connection* c, const std::string& key)
{
  std::string data;
  if (!TQ58_EmulatorReplyData(printer->state, key, &data)) return;  // not a query it knows: no answer
  const tq58emu::Answer a = MakeAnswer(&printer->faults, key, data);
  if (a.unplug) printer->leave = Leave::kFault;
  if (a.send) Queue(c, a);
}

void TakePacket(Printer* printer, Connection* c, const DecodedPacket& packet)
{
  printer->log.push_back(packet.subcommand.empty() ? packet.command : packet.command + " " + packet.subcommand);
  const std::string key = TQ58_EmulatorQueryKey(packet.command, packet.subcommand);
  if (!key.empty()) {
    Answer(printer, c, key);
    return;
  }
  TakePrintPacket(printer, packet);
  if (TakeUnplugFault(&printer->faults, packet.subcommand.empty() ? packet.command : packet.subcommand)) {
    printer->leave = Leave::kFault;
  }
}

// Takes every whole packet from the connection's input. Bytes that do not
// start a packet are skipped up to the next ESC P.
void TakePackets(Printer* printer, Connection* c)
{
  std::string& in = c->in;
  while (printer->leave == Leave::kStay && in.size() >= 2) {
    if (in[0] != '\x1B' || in[1] != 'P') {
      const size_t next = in.find("\x1BP", 1);
      in.erase(0, next == std::string::npos ? in.size() - 1 : next);
      printer->log.push_back("(bytes outside a packet skipped)");
      continue;
    }
    if (in.size() < kPacketHeaderSize) return;
    PacketHeader header;
    const auto* bytes = reinterpret_cast<const uint8_t*>(in.data());
    if (TQ58_ParsePacketHeader(bytes, &header) != PacketHeaderCheck::kOk) {
      printer->log.push_back("(packet with a malformed length skipped)");
      in.erase(0, kPacketHeaderSize);
      continue;
    }
    const size_t size = kPacketHeaderSize + header.payloadSize;
    if (in.size() < size) return;
    std::vector<DecodedPacket> packets;
    std::string error;
    TQ58_SplitPackets(bytes, size, &packets, &error);
    in.erase(0, size);
    if (packets.size() == 1) TakePacket(printer, c, packets[0]);
  }
}

}  // namespace

void TakeBytes(Printer* printer, Connection* c, const char* data, size_t size)
{
  c->in.append(data, size);
  TakePackets(printer, c);
}

}  // namespace tq58emu
