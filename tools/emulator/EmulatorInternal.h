// The emulator's private state, shared by its source files. The engine
// (EmulatorEngine.cpp, EmulatorReplies.cpp, EmulatorPrints.cpp) turns the
// bytes of a connection into packets, answers and prints; a transport
// (EmulatorBus.cpp, EmulatorGadget.cpp) attaches a printer and moves the
// bytes; the serving loop (EmulatorServer.cpp) joins them.
#ifndef TQ58_EMULATORINTERNAL_H
#define TQ58_EMULATORINTERNAL_H

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
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
// Each entry goes out in writes of its own.
struct Pending {
  Clock::time_point due;
  std::string bytes;
  bool drop = false;
};

struct Connection {
  int fd = -1;
  std::string in;  // received bytes not yet forming a whole packet
  std::deque<Pending> out;
  bool closed = false;
  bool hostOpened = true;  // the host opening the interface made it (not a gadget's device)
};

// How a printer is attached and how its bytes move: a socket of the emulated
// bus, or the printer function of a USB gadget. Every method runs with the
// emulator's lock held and, except the destructor, in the serving thread.
class Transport {
public:
  virtual ~Transport() = default;
  // Takes the host's new connections into connections. Does not block.
  virtual void Accept(std::vector<std::unique_ptr<Connection>>* connections) = 0;
  // The descriptor whose readiness means Accept has work (-1: none), and the
  // time after which Accept should run again anyway (-1: never).
  virtual int GetAcceptFd() const = 0;
  virtual int GetAcceptRetryMs() const { return -1; }
  // read(2) and write(2) on a connection, never blocking: the bytes moved,
  // 0 when none can move now, -1 when the connection is gone.
  virtual ssize_t Read(int fd, char* buffer, size_t size) = 0;
  virtual ssize_t Write(int fd, const char* data, size_t size) = 0;
  // Closes a connection's descriptor.
  virtual void Close(int fd) = 0;
  // Shows the host a changed identity where the transport can while attached.
  virtual bool SetIdentity(const EmulatedPrinterState& state) = 0;
  // Takes the printer off the bus where that can be done with its
  // connections still open (the emulated bus); a gadget leaves in Detach.
  virtual void Leave() = 0;
  // Closes every connection, then leaves the bus. Blocks briefly.
  virtual void Detach(std::vector<std::unique_ptr<Connection>>* connections) = 0;
  // How long answers written just before an unplug need to reach the host.
  virtual unsigned GetDrainMs() const { return 0; }
};

// The transport of a printer on the emulated bus in busFolder/name: writes
// the "device" file and creates the "bulk" socket. Null (and *error) on failure.
std::unique_ptr<Transport> MakeBusTransport(const std::string& folder, const EmulatedPrinterState& state,
                                            std::string* error);

// The transport of a printer as a configfs USB gadget on port: builds the
// gadget "tq58-<name>" and binds it to the controller; its device is opened
// by Accept once the host has configured it. Null (and *error) on failure.
std::unique_ptr<Transport> MakeGadgetTransport(const std::string& name, const EmulatedPrinterState& state,
                                               const EmulatorGadgetPort& port, std::string* error);

// Why a printer leaves: a fault (its queued answers go out first) or a request.
enum class Leave { kStay, kFault, kRequest };

struct Printer {
  std::string name;
  EmulatedPrinterState state;
  std::deque<EmulatorFaultSpec> faults;
  std::unique_ptr<Transport> transport;
  std::vector<std::unique_ptr<Connection>> connections;
  std::vector<std::string> log;
  std::vector<EmulatedPrint> prints;
  EmulatedPrint current;  // the print being received
  int connectionCount = 0;
  Leave leave = Leave::kStay;  // set: the serving loop detaches it
};

// What to send for one answer after the faults are applied.
struct Answer {
  bool send = true;     // false: no answer at all
  bool drop = false;    // close the connection instead
  bool unplug = false;  // unplug the printer (after sending, when send is set)
  unsigned delayMs = 0;
  std::string bytes;  // the wire bytes
};

// The answer to query key with data, spoiled by the first matching fault of
// faults (which is used up by one).
Answer MakeAnswer(std::deque<EmulatorFaultSpec>* faults, const std::string& key, const std::string& data);

// True when faults hold an unplug fault for exactly key (kEmulatorOpenKey, or
// a print packet's key); it is used up by one.
bool TakeUnplugFault(std::deque<EmulatorFaultSpec>* faults, const std::string& key);

// The engine: takes received bytes of connection c, answers the queries on
// it and collects the print stream. Does not block.
void TakeBytes(Printer* printer, Connection* c, const char* data, size_t size);

// Takes one packet of the print stream (CNTRL, IMAGE); a CNTRL START ends a print.
void TakePrintPacket(Printer* printer, const DecodedPacket& packet);

// Saves a finished print below the printer's save folder; returns the files made.
std::vector<std::string> SavePrint(const EmulatedPrinterState& state, const std::string& printerName,
                                   const EmulatedPrint& print);

// The "device" file text for state.
std::string DeviceFileText(const EmulatedPrinterState& state);

// The serving loop; returns when impl->stop is set.
void Serve(Emulator::Impl* impl);

}  // namespace tq58emu

struct Emulator::Impl {
  mutable std::mutex m;
  std::condition_variable changed;  // a printer was detached, or its gadget opened
  std::map<std::string, std::unique_ptr<tq58emu::Printer>> printers;
  int wakeFd = -1;
  bool stop = false;
  std::thread thread;

  void Wake();
  tq58emu::Printer* Find(const std::string& name) const;
};

#endif
