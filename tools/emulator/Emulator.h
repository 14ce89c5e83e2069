// An emulator of TQ-58 printers. A printer is attached either to the emulated
// USB bus (a sub-folder of the bus folder with its "device" file and its
// "bulk" socket) or, on Linux, to a USB device controller as a configfs
// gadget with the printer function, which the kernel's own USB host stack
// then sees as a USB printer. Either way the same engine answers the status
// queries in the printer's reply format, accepts print streams on the same
// pipes (counting and, when asked, saving the prints), and lets a test change
// its state and inject faults at any time. One thread serves every printer
// of an Emulator; all methods are thread-safe.
#ifndef TQ58_EMULATOR_H
#define TQ58_EMULATOR_H

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "UsbIdsTQ58.h"

// What a printer reports. The replies are built from these values (see
// TQ58_EmulatorReplyData); replyOverride replaces a reply's data as it stands.
struct EmulatedPrinterState {
  // The "device" file.
  int vendorId = kTQ58UsbVendorId;
  int productId = kTQ58UsbProductId;
  int configuration = 1;
  int interfaceNumber = 0;
  std::string deviceId = "MFG:Pellori;CMD:TQ58;MDL:TQ-58;CLS:PRINTER;";
  // The replies.
  std::string serial = "TQ58-0001";
  std::string firmware = "1.00";
  int status = 0;
  int mediaSize = 150;  // "00" + the size
  int mediaClass = 1;   // "%04d"
  int mediaInitial = 50;
  int mediaRemain = 50;  // goes down by one per print, to 0
  int mediaRemainHalf = 0;
  long totalCount = 0;                               // goes up by one per print
  std::map<std::string, std::string> replyOverride;  // query key -> reply data
  // Prints: saved below saveFolder when it is not empty, as the three plane
  // files and, with savePng, one PNG picture.
  std::string saveFolder;
  bool savePng = false;
};

enum class EmulatorFault {
  NoReply,           // the query gets no answer
  SlowReply,         // the answer comes after delayMs
  LetterInLength,    // only "0000001A" is sent
  ZeroLength,        // only "00000000" is sent
  OverlongLength,    // only "00004089" is sent (too long for any holder)
  NoCarriageReturn,  // the data is sent without its carriage return
  DropConnection,    // the connection is closed instead of answering
  RawReply,          // raw is sent instead of the answer
  Unplug,            // the printer is unplugged when the query arrives; no answer
  UnplugAfterReply,  // the printer leaves the bus, its answer goes out, then its connections close
};

// The key under which the host opening the printer interface (a new
// connection) meets the faults: only Unplug and UnplugAfterReply apply to it,
// and a fault for every query (empty key) does not.
inline constexpr const char* kEmulatorOpenKey = "(open)";
// Unplug faults also fire on a print packet: with the packet's subcommand as
// the query key ("YPLANE", "START", ...) once that packet has come whole.

struct EmulatorFaultSpec {
  EmulatorFault kind = EmulatorFault::NoReply;
  std::string query;  // query key (TQ58_EmulatorQueryKey); empty: every query
  int count = 1;      // answers it spoils; -1: until cleared
  unsigned delayMs = 0;
  std::string raw;
};

// One finished print (CNTRL START).
struct EmulatedPrint {
  int number = 0;                   // 1, 2, ... per printer
  std::string multiCut;             // the IMAGE MULTICUT payload
  std::vector<std::string> planes;  // the plane payloads (BMP files) Y, M, C as received
  std::vector<std::string> files;   // files saved for it
};

// The key of a query packet: "STATUS", or the subcommand of INFO and MNT_RD
// ("SERIAL_NUMBER", "FVER", ..., "COUNTER_LIFE"); empty for any other packet.
std::string TQ58_EmulatorQueryKey(const std::string& command, const std::string& subcommand);

// The reply data (without the eight length digits) for a query key, from
// state. False for a key the printer does not answer.
bool TQ58_EmulatorReplyData(const EmulatedPrinterState& state, const std::string& key, std::string* data);

// Where a printer is plugged in as a USB gadget (Linux, configfs).
struct EmulatorGadgetPort {
  std::string udc;  // the device controller, e.g. "dummy_udc.0"
  std::string configfs = "/sys/kernel/config/usb_gadget";
  std::string devices = "/dev";  // where the function's g_printerN device appears
  std::string device;            // that device when known; empty: the one that appears on binding
};

class Emulator {
public:
  // The bus folder is created when missing (none for gadgets alone). Starts
  // the serving thread.
  explicit Emulator(std::string busFolder = std::string());
  // Unplugs every printer and stops the thread.
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  const std::string& GetBusFolder() const { return busFolder_; }

  // Attaches a printer: writes its "device" file, then creates its socket.
  // False (with a reason) when the name is taken or the files cannot be made.
  bool Plug(const std::string& name, const EmulatedPrinterState& state, std::string* error = nullptr);
  // Attaches a printer as the gadget "tq58-<name>" on port.udc: its vendor
  // and product IDs, serial number string (the serial text), configuration
  // value and device ID (the function's pnp_string) come from state; the
  // interface number is 0. Binds it, then waits (up to 15 s) for the host to
  // configure it and opens its device. False (with a reason) when the name is
  // taken or the gadget cannot be made, bound or opened. Blocks.
  bool PlugGadget(const std::string& name, const EmulatedPrinterState& state, const EmulatorGadgetPort& port,
                  std::string* error = nullptr);
  // Detaches it. On the bus: removes the socket first, then the folder, and
  // closes its connections; a gadget: closes its device, then unbinds and
  // removes the gadget. False when no such printer is attached. Blocks briefly.
  bool Unplug(const std::string& name);
  bool IsPlugged(const std::string& name) const;

  bool GetState(const std::string& name, EmulatedPrinterState* state) const;
  // Replaces the state; rewrites the "device" file when its values changed
  // (a gadget shows a changed identity at its next plug).
  bool SetState(const std::string& name, const EmulatedPrinterState& state);
  // GetState, change, SetState in one step.
  bool Update(const std::string& name, const std::function<void(EmulatedPrinterState&)>& change);

  bool InjectFault(const std::string& name, const EmulatorFaultSpec& fault);
  bool ClearFaults(const std::string& name);

  int GetPrintCount(const std::string& name) const;
  std::vector<EmulatedPrint> GetPrints(const std::string& name) const;
  // Every packet received, in order, as "COMMAND SUBCOMMAND" (or "COMMAND").
  std::vector<std::string> GetCommandLog(const std::string& name) const;
  void ClearCommandLog(const std::string& name);
  // Connections accepted so far (a gadget: each opening of its device).
  int GetConnectionCount(const std::string& name) const;

  struct Impl;

private:
  std::string busFolder_;
  std::unique_ptr<Impl> impl_;
};

#endif
