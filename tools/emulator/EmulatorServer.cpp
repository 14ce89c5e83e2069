// The emulator's serving loop: accepts connections on every printer's socket,
// reads packets, answers queries and takes print streams.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "EmulatorInternal.h"

namespace tq58emu {
namespace {

constexpr size_t kHeader = 32;

// The payload length of a packet header: 0 for spaces, -1 when malformed.
long PayloadLength(const std::string& in)
{
  bool spaces = true, digits = true;
  long n = 0;
  for (size_t i = 24; i < 32; ++i) {
    spaces = spaces && in[i] == ' ';
    digits = digits && in[i] >= '0' && in[i] <= '9';
    if (digits) n = n * 10 + (in[i] - '0');
  }
  return spaces ? 0 : digits ? n : -1;
}

void Answer(Printer* printer, Connection* c, const std::string& key)
{
  std::string data;
  if (!TQ58_EmulatorReplyData(printer->state, key, &data)) return;  // not a query it knows: no answer
  const tq58emu::Answer a = MakeAnswer(&printer->faults, key, data);
  if (a.unplug) printer->unplugDue = true;
  if (!a.send) return;
  Pending p;
  p.due = Clock::now() + std::chrono::milliseconds(a.delayMs);
  if (!c->out.empty()) p.due = std::max(p.due, c->out.back().due);  // answers keep their order
  p.bytes = a.bytes;
  p.drop = a.drop;
  c->out.push_back(std::move(p));
}

// Takes every whole packet from the connection's input. Bytes that do not
// start a packet are skipped up to the next ESC P.
void TakePackets(Printer* printer, Connection* c)
{
  std::string& in = c->in;
  while (!printer->unplugDue && in.size() >= 2) {
    if (in[0] != '\x1B' || in[1] != 'P') {
      const size_t next = in.find("\x1BP", 1);
      in.erase(0, next == std::string::npos ? in.size() - 1 : next);
      printer->log.push_back("(bytes outside a packet skipped)");
      continue;
    }
    if (in.size() < kHeader) return;
    const long n = PayloadLength(in);
    if (n < 0) {
      printer->log.push_back("(packet with a malformed length skipped)");
      in.erase(0, kHeader);
      continue;
    }
    if (in.size() < kHeader + static_cast<size_t>(n)) return;
    std::vector<DecodedPacket> packets;
    std::string error;
    TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(in.data()), kHeader + static_cast<size_t>(n), &packets, &error);
    in.erase(0, kHeader + static_cast<size_t>(n));
    if (packets.size() != 1) continue;
    const DecodedPacket& packet = packets[0];
    printer->log.push_back(packet.subcommand.empty() ? packet.command : packet.command + " " + packet.subcommand);
    const std::string key = TQ58_EmulatorQueryKey(packet.command, packet.subcommand);
    if (!key.empty()) Answer(printer, c, key);
    else TakePrintPacket(printer, packet);
  }
}

void Receive(Printer* printer, Connection* c)
{
  char buffer[65536];
  for (;;) {
    const ssize_t n = recv(c->fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      c->in.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) c->closed = true;
    break;
  }
  TakePackets(printer, c);
}

void SendDue(Connection* c)
{
  const auto now = Clock::now();
  while (!c->closed && !c->out.empty() && c->out.front().due <= now) {
    Pending& p = c->out.front();
    if (p.drop) {
      c->closed = true;
      break;
    }
    const ssize_t n = send(c->fd, p.bytes.data(), p.bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) c->closed = true;
      break;
    }
    p.bytes.erase(0, static_cast<size_t>(n));
    if (!p.bytes.empty()) break;
    c->out.pop_front();
  }
}

void Accept(Printer* printer)
{
  for (;;) {
    const int fd = accept4(printer->listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    printer->connections.push_back(std::move(c));
    ++printer->connectionCount;
    if (TakeOpenFault(&printer->faults)) {
      printer->unplugDue = true;
      return;
    }
  }
}

// Unplugs a printer whose unplug fault fired: it leaves the bus (socket first,
// then its folder), the answers already queued go out at once, then its
// connections close. The host thus finds the printer gone when an answer sent
// just before the unplug arrives.
void Vanish(Printer* printer)
{
  unlink((printer->folder + "/bulk").c_str());
  close(printer->listenFd);
  unlink((printer->folder + "/device").c_str());
  rmdir(printer->folder.c_str());
  for (const auto& c : printer->connections) {
    for (const Pending& p : c->out) {
      if (c->closed || p.drop) break;
      if (send(c->fd, p.bytes.data(), p.bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) break;
    }
    close(c->fd);
  }
  printer->connections.clear();
}

// Serves one printer: new connections, received packets, due answers.
void ServePrinter(Printer* printer)
{
  Accept(printer);
  for (auto& c : printer->connections) {
    if (printer->unplugDue) return;
    Receive(printer, c.get());
    SendDue(c.get());
  }
}

// Serves every printer once; returns the poll set and time-out for the next wait.
int ServeOnce(Emulator::Impl* impl, std::vector<pollfd>* fds)
{
  fds->assign(1, pollfd{impl->wakeFd, POLLIN, 0});
  int timeoutMs = -1;
  const auto now = Clock::now();
  for (auto it = impl->printers.begin(); it != impl->printers.end();) {
    Printer* printer = it->second.get();
    ServePrinter(printer);
    if (printer->unplugDue) {
      Vanish(printer);
      it = impl->printers.erase(it);
      continue;
    }
    ++it;
    auto& cs = printer->connections;
    for (auto& c : cs) {
      if (c->closed) close(c->fd);
    }
    cs.erase(std::remove_if(cs.begin(), cs.end(), [](const auto& c) { return c->closed; }), cs.end());
    fds->push_back(pollfd{printer->listenFd, POLLIN, 0});
    for (const auto& c : cs) {
      short events = POLLIN;
      if (!c->out.empty()) {
        const auto due = c->out.front().due;
        if (due <= now) events |= POLLOUT;
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1;
        if (due > now && (timeoutMs < 0 || wait < timeoutMs)) timeoutMs = static_cast<int>(wait);
      }
      fds->push_back(pollfd{c->fd, events, 0});
    }
  }
  return timeoutMs;
}

}  // namespace

void Serve(Emulator::Impl* impl)
{
  std::vector<pollfd> fds;
  for (;;) {
    int timeoutMs = -1;
    {
      std::lock_guard<std::mutex> lock(impl->m);
      if (impl->stop) return;
      timeoutMs = ServeOnce(impl, &fds);
    }
    poll(fds.data(), fds.size(), timeoutMs);
    uint64_t count;
    while (read(impl->wakeFd, &count, sizeof count) > 0) {
    }
  }
}

}  // namespace tq58emu
