#include "PacketDecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string TrimRight(const uint8_t* p, size_t n)
{
  while (n > 0 && p[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(p), n);
}

std::string PayloadText(const DecodedPacket& packet)
{
  return std::string(packet.payload.begin(), packet.payload.end());
}

// Parses the 8-character length field: -1 spaces (no payload), -2 malformed.
long ParseLength(const uint8_t* field)
{
  bool spaces = true, digits = true;
  long value = 0;
  for (int i = 0; i < 8; ++i) {
    spaces = spaces && field[i] == ' ';
    digits = digits && field[i] >= '0' && field[i] <= '9';
    if (digits) value = value * 10 + (field[i] - '0');
  }
  return spaces ? -1 : digits ? value : -2;
}

std::string DescribeSysTime(const std::string& t)
{
  if (t.size() != 16 || t[14] != '\r' || t[15] != '\0') return "clock payload malformed";
  char text[64];
  std::snprintf(text, sizeof text, "clock %.4s-%.2s-%.2s %.2s:%.2s:%.2s (local time, CR NUL)", t.c_str(),
                t.c_str() + 4, t.c_str() + 6, t.c_str() + 8, t.c_str() + 10, t.c_str() + 12);
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
  if (p.subcommand == "PRINTSPEED") return std::string("print speed ") + (v == 20 ? "fast" : "normal") + " (" + text + ")";
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
    if (size - pos < 32) {
      *error = "truncated header at offset " + std::to_string(pos);
      return false;
    }
    const uint8_t* h = data + pos;
    if (h[0] != 0x1B || h[1] != 0x50) {
      *error = "bad start bytes at offset " + std::to_string(pos);
      return false;
    }
    DecodedPacket packet;
    packet.offset = pos;
    packet.command = TrimRight(h + 2, 6);
    packet.subcommand = TrimRight(h + 8, 16);
    const long n = ParseLength(h + 24);
    if (n == -2 || (n >= 0 && static_cast<size_t>(n) > size - pos - 32)) {
      *error = "bad payload length at offset " + std::to_string(pos);
      return false;
    }
    packet.hasPayload = n >= 0;
    if (n > 0) packet.payload.assign(h + 32, h + 32 + n);
    pos += 32 + static_cast<size_t>(n > 0 ? n : 0);
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
