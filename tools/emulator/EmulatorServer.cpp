// The emulator's serving loop: takes the host's connections on every
// printer's transport, feeds the received bytes to the engine, sends the
// answers when they are due and detaches the printers that leave.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>

#include "EmulatorInternal.h"

namespace tq58emu {
namespace {

void Receive(Printer* printer, Connection* c)
{
  char buffer[65536];
  while (printer->leave == Leave::kStay) {
    const ssize_t n = printer->transport->Read(c->fd, buffer, sizeof buffer);
    if (n < 0) c->closed = true;
    if (n <= 0) break;
    TakeBytes(printer, c, buffer, static_cast<size_t>(n));
  }
}

void SendDue(Printer* printer, Connection* c)
{
  const auto now = Clock::now();
  while (!c->closed && !c->out.empty() && c->out.front().due <= now) {
    Pending& p = c->out.front();
    if (p.drop) {
      c->closed = true;
      break;
    }
    const ssize_t n = p.bytes.empty() ? 0 : printer->transport->Write(c->fd, p.bytes.data(), p.bytes.size());
    if (n < 0) {
      c->closed = true;
      break;
    }
    p.bytes.erase(0, static_cast<size_t>(n));
    if (!p.bytes.empty()) break;
    c->out.pop_front();
  }
}

// Takes new connections; true when there were any. A host opening the
// interface may meet an unplug fault.
bool Accept(Printer* printer)
{
  const size_t before = printer->connections.size();
  printer->transport->Accept(&printer->connections);
  for (size_t i = before; i < printer->connections.size(); ++i) {
    ++printer->connectionCount;
    if (printer->connections[i]->hostOpened && TakeUnplugFault(&printer->faults, kEmulatorOpenKey)) {
      printer->leave = Leave::kFault;
      break;
    }
  }
  return printer->connections.size() > before;
}

// Detaches a printer that leaves. After an unplug fault it leaves the bus
// first, the answers already queued go out at once, then its connections
// close: the host finds the printer gone when an answer sent just before the
// unplug arrives.
void Vanish(Printer* printer)
{
  Transport* t = printer->transport.get();
  t->Leave();
  bool wrote = false;
  for (const auto& c : printer->connections) {
    for (const Pending& p : c->out) {
      if (printer->leave != Leave::kFault || c->closed || p.drop) break;
      if (t->Write(c->fd, p.bytes.data(), p.bytes.size()) < 0) break;
      wrote = true;
    }
  }
  if (wrote && t->GetDrainMs() > 0) std::this_thread::sleep_for(std::chrono::milliseconds(t->GetDrainMs()));
  t->Detach(&printer->connections);
}

// Serves one printer: new connections, received packets, due answers.
// True when a connection came.
bool ServePrinter(Printer* printer)
{
  const bool accepted = Accept(printer);
  for (auto& c : printer->connections) {
    if (printer->leave != Leave::kStay) break;
    Receive(printer, c.get());
    SendDue(printer, c.get());
  }
  return accepted;
}

// The poll entries of a printer that stays, and the shortest wait it needs.
void AddPollEntries(Printer* printer, Clock::time_point now, std::vector<pollfd>* fds, int* timeoutMs)
{
  const auto sooner = [timeoutMs](long long ms) {
    if (ms >= 0 && (*timeoutMs < 0 || ms < *timeoutMs)) *timeoutMs = static_cast<int>(ms);
  };
  auto& cs = printer->connections;
  for (auto& c : cs) {
    if (c->closed) printer->transport->Close(c->fd);
  }
  cs.erase(std::remove_if(cs.begin(), cs.end(), [](const auto& c) { return c->closed; }), cs.end());
  if (printer->transport->GetAcceptFd() >= 0) fds->push_back(pollfd{printer->transport->GetAcceptFd(), POLLIN, 0});
  sooner(printer->transport->GetAcceptRetryMs());
  for (const auto& c : cs) {
    short events = POLLIN;
    if (!c->out.empty()) {
      const auto due = c->out.front().due;
      if (due <= now) events |= POLLOUT;
      else sooner(std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count() + 1);
    }
    fds->push_back(pollfd{c->fd, events, 0});
  }
}

// Serves every printer once; returns the poll set and time-out for the next wait.
int ServeOnce(Emulator::Impl* impl, std::vector<pollfd>* fds)
{
  fds->assign(1, pollfd{impl->wakeFd, POLLIN, 0});
  int timeoutMs = -1;
  bool changed = false;
  const auto now = Clock::now();
  for (auto it = impl->printers.begin(); it != impl->printers.end();) {
    Printer* printer = it->second.get();
    if (printer->leave == Leave::kStay) changed = ServePrinter(printer) || changed;
    if (printer->leave != Leave::kStay) {
      Vanish(printer);
      it = impl->printers.erase(it);
      changed = true;
      continue;
    }
    ++it;
    AddPollEntries(printer, now, fds, &timeoutMs);
  }
  if (changed) impl->changed.notify_all();
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
    while (read(impl->wakeFd, &count, sizeof count) > 0) {}
  }
}

}  // namespace tq58emu
