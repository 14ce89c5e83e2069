#include "PacketDecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "PacketHeader.h"

namespace {

std::string PayloadText(const DecodedPacket& packet)
{
  return std::string(packet.payload.begin(), packet.payload.end());
}

std::string DescribeSysTime(const std::string& t)
{
  if (t.size() != 16 || t[14] != '\r' || t[15] != '\0') return "clock payload malformed";
  char text[64];
  std::snprintf(text, sizeof text, "clock %.4s-%.2s-%.2s %.2s:%.2s:%.2s (local time, CR NUL)", t.c_str(), t.c_str() + 4,
                t.c_str() + 6, t.c_str() + 8, t.c_str() + 10, t.c_str() + 12);
  return text;
}

std::string DescribeOvercoat(long v)
{
  const char* name = v == 0 ? "Glossy" : v == 1 ? "Matte" : v == 21 ? "FineMatte" : v == 22 ? "Luster" : "other";
  return std::string("finish ") + name + " (" + std::to_string(v) + ")";
}

std::string DescribeControl(const DecodedPacket& p)
{
  const std::string text = PayloadText(p);
  const long v = std::atol(text.c_str());
  if (p.subcommand == "SET_SYS_TIME") return DescribeSysTime(text);
  if (p.subcommand == "CUTTER") return std::string("2-inch cut ") + (v == 120 ? "on" : "off") + " (" + text + ")";
  if (p.subcommand == "OVERCOAT") return DescribeOvercoat(v);
  if (p.subcommand == "BUFFCNTRL") return std::string("print retry ") + (v ? "on" : "off") + " (" + text + ")";
  if (p.subcommand == "PRINTSPEED")
    return std::string("print speed ") + (v == 20 ? "fast" : "normal") + " (" + text + ")";
  if (p.subcommand == "DECURL") {
    const int mode = std::atoi(text.substr(0, 2).c_str());
    return std::string("decurl ") + (mode == 1 ? "on" : mode == 0 ? "off" : "printer default") + " (" + text + ")";
  }
  if (p.subcommand == "START") return "start printing";
  return "payload \"" + text + "\"";
}

}  // namespace

bool TQ58_SplitPackets(const uint8_t* data, size_t size, std::vector<DecodedPacket>* packets, std::string* error)
{
  size_t pos = 0;
  while (pos < size) {
    if (size - pos < kPacketHeaderSize) {
      *error = "truncated header at offset " + std::to_string(pos);
      return false;
    }
    PacketHeader header;
    const PacketHeaderCheck check = TQ58_ParsePacketHeader(data + pos, &header);
    if (check == PacketHeaderCheck::kBadStart) {
      *error = "bad start bytes at offset " + std::to_string(pos);
      return false;
    }
    if (check != PacketHeaderCheck::kOk || header.payloadSize > size - pos - kPacketHeaderSize) {
      *error = "bad payload length at offset " + std::to_string(pos);
      return false;
    }
    DecodedPacket packet;
    packet.offset = pos;
    packet.command = std::move(header.command);
    packet.subcommand = std::move(header.subcommand);
    packet.hasPayload = header.hasLength;
    const uint8_t* payload = data + pos + kPacketHeaderSize;
    packet.payload.assign(payload, payload + header.payloadSize);
    pos += kPacketHeaderSize + header.payloadSize;
    packets->push_back(std::move(packet));
  }
  return true;
}

std::string TQ58_DescribePacket(const DecodedPacket& packet)
{
  char head[40];
  std::snprintf(head, sizeof head, "%-6s %-16s ", packet.command.c_str(), packet.subcommand.c_str());
  std::string detail;
  if (packet.command == "CNTRL") {
    detail = DescribeControl(packet);
  } else if (packet.command == "IMAGE" && packet.subcommand == "MULTICUT") {
    detail = "media multi-cut code " + PayloadText(packet);
  } else if (packet.command == "IMAGE" && packet.payload.size() >= 30 && packet.payload[0] == 'B') {
    const auto le4 = [&](size_t o) {
      return packet.payload[o] | packet.payload[o + 1] << 8 | packet.payload[o + 2] << 16 | packet.payload[o + 3] << 24;
    };
    detail = std::to_string(packet.payload.size()) + "-byte BMP " + std::to_string(le4(18)) + " x " +
             std::to_string(le4(22)) + ", 8-bit plane";
  } else if (packet.hasPayload) {
    detail = std::to_string(packet.payload.size()) + "-byte payload";
  } else {
    detail = "no payload";
  }
  return head + detail;
}
