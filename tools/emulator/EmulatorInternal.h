// The emulator's private state, shared by its source files.
#ifndef TQ58_EMULATORINTERNAL_H
#define TQ58_EMULATORINTERNAL_H

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Emulator.h"
#include "PacketDecoder.h"

namespace tq58emu {

using Clock = std::chrono::steady_clock;

// Bytes waiting to go out on a connection, in order; drop closes it instead.
struct Pending {
  Clock::time_point due;
  std::string bytes;
  bool drop = false;
};

struct Connection {
  int fd = -1;
  std::string in;            // received bytes not yet forming a whole packet
  std::deque<Pending> out;
  bool closed = false;
};

struct Printer {
  std::string name;
  std::string folder;
  EmulatedPrinterState state;
  std::deque<EmulatorFaultSpec> faults;
  int listenFd = -1;
  std::vector<std::unique_ptr<Connection>> connections;
  std::vector<std::string> log;
  std::vector<EmulatedPrint> prints;
  EmulatedPrint current;  // the print being received
  int connectionCount = 0;
  bool unplugDue = false;  // an unplug fault fired: the serving loop detaches it
};

// What to send for one answer after the faults are applied.
struct Answer {
  bool send = true;       // false: no answer at all
  bool drop = false;      // close the connection instead
  bool unplug = false;    // unplug the printer (after sending, when send is set)
  unsigned delayMs = 0;
  std::string bytes;      // the wire bytes
};

// The answer to query key with data, spoiled by the first matching fault of
// faults (which is used up by one).
Answer MakeAnswer(std::deque<EmulatorFaultSpec>* faults, const std::string& key, const std::string& data);

// True when faults hold an unplug fault for opening a connection
// (kEmulatorOpenKey); it is used up by one.
bool TakeOpenFault(std::deque<EmulatorFaultSpec>* faults);

// Takes one packet of the print stream (CNTRL, IMAGE); a CNTRL START ends a print.
void TakePrintPacket(Printer* printer, const DecodedPacket& packet);

// Saves a finished print below the printer's save folder; returns the files made.
std::vector<std::string> SavePrint(const EmulatedPrinterState& state, const std::string& printerName,
                                   const EmulatedPrint& print);

// The "device" file text for state.
std::string DeviceFileText(const EmulatedPrinterState& state);

// Creates a listening Unix socket at folder/name; -1 on failure.
int ListenUnix(const std::string& folder, const std::string& name);

// The serving loop; returns when impl->stop is set.
void Serve(Emulator::Impl* impl);

}  // namespace tq58emu

struct Emulator::Impl {
  mutable std::mutex m;
  std::map<std::string, std::unique_ptr<tq58emu::Printer>> printers;
  int wakeFd = -1;
  bool stop = false;
  std::thread thread;

  void Wake();
  tq58emu::Printer* Find(const std::string& name) const;
};

#endif
