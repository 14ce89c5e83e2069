// Helpers for the backend's tests: a printer command stream like the
// filter's (clock packet, then per print the settings, IMAGE MULTICUT, three
// plane packets and CNTRL START), and a line sink that collects the
// backend's messages and lets a test act on one when it comes.
#ifndef TQ58_TEST_BACKENDTESTUTIL_H
#define TQ58_TEST_BACKENDTESTUTIL_H

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BackendLog.h"
#include "DeviceCmd.h"

inline std::string Packet(const char* name, const char* subcommand, const std::string& payload = std::string())
{
  DeviceCmd cmd;
  cmd.MakeCmd(name, subcommand, static_cast<int>(payload.size()), payload.empty() ? nullptr : payload.data());
  std::string bytes(reinterpret_cast<const char*>(cmd.data), static_cast<size_t>(cmd.len));
  cmd.Free();
  return bytes;
}

// A plane payload that differs per print and per plane.
inline std::string PlanePayload(int print, int plane, size_t size)
{
  std::string payload(size, '\0');
  for (size_t i = 0; i < size; ++i) payload[i] = static_cast<char>((i * 7 + print * 31 + plane * 101) & 0xFF);
  return payload;
}

inline std::string PrintPackets(int print, size_t planeSize)
{
  std::string s =
      Packet("CNTRL", "CUTTER", "0") + Packet("CNTRL", "BUFFCNTRL", "1") + Packet("IMAGE", "MULTICUT", "00001");
  const char* planes[3] = {"YPLANE", "MPLANE", "CPLANE"};
  for (int p = 0; p < 3; ++p) s += Packet("IMAGE", planes[p], PlanePayload(print, p, planeSize));
  return s + Packet("CNTRL", "START");
}

// The clock packet and prints 1 .. prints.
inline std::string JobStream(int prints, size_t planeSize)
{
  std::string s = Packet("CNTRL", "SET_SYS_TIME", "20240101120000");
  for (int i = 1; i <= prints; ++i) s += PrintPackets(i, planeSize);
  return s;
}

// stream as the printer gets it from the backend: a STATUS query right behind
// every CNTRL START.
inline std::string WithQueries(const std::string& stream)
{
  const std::string start = Packet("CNTRL", "START"), query = Packet("STATUS", nullptr);
  std::string out;
  for (size_t at = 0;;) {
    const size_t found = stream.find(start, at);
    if (found == std::string::npos) return out + stream.substr(at);
    out += stream.substr(at, found + start.size() - at) + query;
    at = found + start.size();
  }
}

// The queries found in a printer's command log (as the emulator keeps it)
// between a print's first packet (CNTRL CUTTER) and its CNTRL START: another
// program's exchanges inside a print, which break its stream on real USB.
inline int ForeignPacketsInsidePrints(const std::vector<std::string>& log)
{
  int foreign = 0;
  bool inPrint = false;
  for (const std::string& entry : log) {
    if (entry == "CNTRL CUTTER") inPrint = true;
    else if (entry == "CNTRL START") inPrint = false;
    else if (inPrint && (entry == "STATUS" || entry.rfind("INFO", 0) == 0 || entry.rfind("MNT_RD", 0) == 0)) ++foreign;
  }
  return foreign;
}

// The index of the n-th (1-based) entry of log equal to entry; log.size() when there is none.
inline size_t NthEntry(const std::vector<std::string>& log, const std::string& entry, int n)
{
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i] == entry && --n == 0) return i;
  }
  return log.size();
}

// Collects the lines a backend writes; onLine (when set) runs for each, in the backend's thread.
class LineCollector {
public:
  BackendLog Log()
  {
    return BackendLog([this](const std::string& line) {
      std::function<void(const std::string&)> hook;
      {
        std::lock_guard<std::mutex> lock(m_);
        lines_.push_back(line);
        hook = onLine_;
      }
      if (hook) hook(line);
    });
  }
  void OnLine(std::function<void(const std::string&)> hook)
  {
    std::lock_guard<std::mutex> lock(m_);
    onLine_ = std::move(hook);
  }
  std::vector<std::string> Lines() const
  {
    std::lock_guard<std::mutex> lock(m_);
    return lines_;
  }
  bool Has(const std::string& line) const
  {
    for (const std::string& l : Lines()) {
      if (l == line) return true;
    }
    return false;
  }
  bool HasPrefix(const std::string& prefix) const
  {
    for (const std::string& l : Lines()) {
      if (l.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  std::string Text() const
  {
    std::string text;
    for (const std::string& l : Lines()) text += l + "\n";
    return text;
  }

private:
  mutable std::mutex m_;
  std::vector<std::string> lines_;
  std::function<void(const std::string&)> onLine_;
};

#endif
