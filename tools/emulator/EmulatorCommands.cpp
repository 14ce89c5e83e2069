#include "EmulatorCommands.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

std::string Unescape(const std::string& v)
{
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 >= v.size()) {
      out.push_back(v[i]);
      continue;
    }
    const char c = v[++i];
    if (c == 'r') out.push_back('\r');
    else if (c == 'n') out.push_back('\n');
    else if (c == 't') out.push_back('\t');
    else if (c == 'x' && i + 2 < v.size()) {
      out.push_back(static_cast<char>(std::strtol(v.substr(i + 1, 2).c_str(), nullptr, 16)));
      i += 2;
    } else out.push_back(c);
  }
  return out;
}

bool ParseLong(const std::string& text, long* value)
{
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

std::vector<std::string> Split(const std::string& line)
{
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool ParseFault(const std::vector<std::string>& words, EmulatorFaultSpec* f, std::string* error)
{
  static const std::pair<const char*, EmulatorFault> kKinds[] = {
      {"no-reply", EmulatorFault::NoReply},
      {"slow", EmulatorFault::SlowReply},
      {"letter-length", EmulatorFault::LetterInLength},
      {"zero-length", EmulatorFault::ZeroLength},
      {"overlong-length", EmulatorFault::OverlongLength},
      {"no-cr", EmulatorFault::NoCarriageReturn},
      {"drop", EmulatorFault::DropConnection},
      {"raw", EmulatorFault::RawReply},
      {"unplug", EmulatorFault::Unplug},
      {"unplug-after", EmulatorFault::UnplugAfterReply},
  };
  bool known = false;
  for (const auto& [name, kind] : kKinds) {
    if (words[2] == name) {
      f->kind = kind;
      known = true;
    }
  }
  if (!known) return *error = "unknown fault " + words[2], false;
  for (size_t i = 3; i < words.size(); ++i) {
    const size_t eq = words[i].find('=');
    const std::string key = words[i].substr(0, eq), value = eq == std::string::npos ? "" : words[i].substr(eq + 1);
    long n = 0;
    if (key == "query") f->query = value;
    else if (key == "raw") f->raw = Unescape(value);
    else if (key == "count" && ParseLong(value, &n)) f->count = static_cast<int>(n);
    else if (key == "delay" && ParseLong(value, &n) && n >= 0) f->delayMs = static_cast<unsigned>(n);
    else return *error = "bad fault option " + words[i], false;
  }
  return true;
}

std::string Show(Emulator* e, const std::string& name)
{
  EmulatedPrinterState s;
  if (!e->GetState(name, &s)) return "error: no printer " + name;
  std::ostringstream out;
  out << "printer=" << name << " serial=" << s.serial << " status=" << s.status << " media-size=" << s.mediaSize
      << " media-class=" << s.mediaClass << " media-initial=" << s.mediaInitial << " media-remain=" << s.mediaRemain
      << " total-count=" << s.totalCount << " prints=" << e->GetPrintCount(name)
      << " connections=" << e->GetConnectionCount(name) << "\nok";
  return out.str();
}

std::string Log(Emulator* e, const std::string& name)
{
  if (!e->IsPlugged(name)) return "error: no printer " + name;
  std::string out;
  for (const std::string& line : e->GetCommandLog(name)) out += line + "\n";
  return out + "ok";
}

std::string Set(Emulator* e, const std::string& line, const std::vector<std::string>& words)
{
  if (words.size() < 3) return "error: set NAME KEY=VALUE";
  const size_t start = line.find(words[2]);
  const std::string assignment = line.substr(start);
  const size_t eq = assignment.find('=');
  if (eq == std::string::npos) return "error: set NAME KEY=VALUE";
  std::string error;
  bool ok = true;
  const bool found = e->Update(words[1], [&](EmulatedPrinterState& s) {
    ok = TQ58_EmulatorApplySetting(&s, assignment.substr(0, eq), assignment.substr(eq + 1), &error);
  });
  if (!found) return "error: no printer " + words[1];
  return ok ? "ok" : "error: " + error;
}

std::string Plug(Emulator* e, const std::vector<std::string>& words)
{
  if (words.size() < 2) return "error: plug NAME [gadget=UDC] [KEY=VALUE]...";
  EmulatedPrinterState s;
  EmulatorGadgetPort port;
  std::string error;
  for (size_t i = 2; i < words.size(); ++i) {
    const size_t eq = words[i].find('=');
    if (eq == std::string::npos) return "error: bad setting " + words[i];
    if (words[i].substr(0, eq) == "gadget") {
      port.udc = words[i].substr(eq + 1);
      if (port.udc.empty()) return "error: gadget= needs a device controller";
    } else if (!TQ58_EmulatorApplySetting(&s, words[i].substr(0, eq), words[i].substr(eq + 1), &error)) {
      return "error: " + error;
    }
  }
  const bool plugged = port.udc.empty() ? e->Plug(words[1], s, &error) : e->PlugGadget(words[1], s, port, &error);
  return plugged ? "ok" : "error: " + error;
}

}  // namespace

bool TQ58_EmulatorApplySetting(EmulatedPrinterState* s, const std::string& key, const std::string& raw,
                               std::string* error)
{
  const std::string value = Unescape(raw);
  if (key == "serial") return s->serial = value, true;
  if (key == "firmware") return s->firmware = value, true;
  if (key == "device-id") return s->deviceId = value, true;
  if (key == "save") return s->saveFolder = value, true;
  if (key.rfind("reply.", 0) == 0) return s->replyOverride[key.substr(6)] = value, true;
  if (key == "png") return s->savePng = value != "0" && value != "no", true;
  long n = 0;
  if (!ParseLong(value, &n)) return *error = "not a number: " + key + "=" + raw, false;
  const std::pair<const char*, int*> kInts[] = {
      {"status", &s->status},
      {"media-size", &s->mediaSize},
      {"media-class", &s->mediaClass},
      {"media-initial", &s->mediaInitial},
      {"media-remain", &s->mediaRemain},
      {"media-remain-half", &s->mediaRemainHalf},
      {"vendor", &s->vendorId},
      {"product", &s->productId},
      {"configuration", &s->configuration},
      {"interface", &s->interfaceNumber},
  };
  for (const auto& [name, field] : kInts) {
    if (key == name) return *field = static_cast<int>(n), true;
  }
  if (key == "total-count") return s->totalCount = n, true;
  return *error = "unknown setting " + key, false;
}

std::string TQ58_EmulatorRunCommand(Emulator* e, const std::string& line, bool* quit)
{
  const std::vector<std::string> words = Split(line);
  if (words.empty()) return "";
  const std::string& verb = words[0];
  if (verb == "quit" || verb == "exit") return *quit = true, "ok";
  if (verb == "help") return std::string(TQ58_EmulatorHelp()) + "ok";
  if (verb == "plug") return Plug(e, words);
  if (words.size() < 2) return "error: " + verb + " needs a printer name";
  const std::string& name = words[1];
  if (verb == "unplug") return e->Unplug(name) ? "ok" : "error: no printer " + name;
  if (verb == "set") return Set(e, line, words);
  if (verb == "show") return Show(e, name);
  if (verb == "log") return Log(e, name);
  if (verb == "clear-faults") return e->ClearFaults(name) ? "ok" : "error: no printer " + name;
  if (verb == "fault") {
    EmulatorFaultSpec f;
    std::string error;
    if (words.size() < 3) return "error: fault NAME KIND [query=KEY] [count=N] [delay=MS] [raw=BYTES]";
    if (!ParseFault(words, &f, &error)) return "error: " + error;
    return e->InjectFault(name, f) ? "ok" : "error: no printer " + name;
  }
  return "error: unknown command " + verb;
}

namespace {

const char* const kEmulatorHelp = R"(Usage: tq58-emulator [--bus FOLDER] [--printer NAME | --gadget UDC NAME
                     [--set KEY=VALUE]...]...

Emulates TQ-58 printers on the emulated USB bus in FOLDER (the folder that
TQ58_EMULATED_USB names for the host programs), or as USB gadgets that the
kernel's own USB host stack sees (Linux, as root: configfs, the printer
function, a device controller UDC such as dummy_udc.0). Each --printer
attaches one printer to the bus, each --gadget one gadget "tq58-NAME" bound
to UDC (serial number string: the serial; the printer function's pnp_string:
the device ID); the --set options after it change its settings. The program
prints "ready" once they are attached, then reads commands on standard
input, one a line, and answers each with "ok" or "error: ...". It runs until
"quit", SIGINT or SIGTERM, and detaches its printers when it ends.

Commands:
  plug NAME [gadget=UDC] [KEY=VALUE]...
                               attach a printer (with gadget=, as a gadget)
  unplug NAME                  detach it (bus: socket first, then its folder;
                               gadget: its device closed, then unbound)
  set NAME KEY=VALUE           change a setting; VALUE is the rest of the line
  fault NAME KIND [query=KEY] [count=N] [delay=MS] [raw=BYTES]
                               spoil the next N answers (count=-1: all) to the
                               query KEY (any query when absent)
  clear-faults NAME            remove the faults not used up
  show NAME                    one line with the printer's state and counts
  log NAME                     every packet received, one a line
  help, quit

Settings (KEY): serial, firmware, status, media-size, media-class,
  media-initial, media-remain, media-remain-half, total-count, device-id,
  vendor, product, configuration, interface (the "device" file), save=FOLDER
  (save prints there), png=1 (also as PNG), reply.KEY=DATA (answer the query
  KEY with DATA as it stands). Values take the escapes \r \n \t \\ \xHH.

Fault kinds: no-reply, slow (delay=MS), letter-length (sends only 0000001A),
  zero-length (00000000), overlong-length (00004089), no-cr (the data without
  its carriage return), drop (closes the connection), raw (raw=BYTES instead
  of the answer), unplug (unplugs the printer instead of answering),
  unplug-after (unplugs it, sending the answer as it goes); with query=(open)
  the two unplug when the host opens the printer interface (on the bus), with
  query=SUBCOMMAND of a print packet (YPLANE, START, ...) once that packet
  has come.

Answers: eight ASCII digits giving the data length, then the data. Query keys
and their data (defaults in brackets):
  STATUS            status as %05d                         [00000]
  SERIAL_NUMBER     serial, CR                             [TQ58-0001]
  FVER              firmware, CR                           [1.00]
  MEDIA             "00" + media size, CR                  [00150]
                    (the host drops the first two characters)
  MEDIA_CLASS_RFID  media class as %04d, CR                [0001]
  MQTY_DEFAULT      "0000" + initial prints as %05d, CR    [000000050]
                    (the host drops the first four characters)
  MQTY              "0000" + remaining prints as %05d, CR  [000000050]
  RQTY              "0000" + remaining half prints, CR     [000000000]
  COUNTER_LIFE      "00" + total count as %08d, CR         [0000000000]
                    (the host drops the first two characters)
Any other packet gets no answer. A print stream (IMAGE MULTICUT, the three
plane packets, CNTRL START) is taken on the same connection: CNTRL START
counts a print, lowers MQTY by one (not below 0) and raises COUNTER_LIFE by
one. With save=FOLDER the planes are saved as NAME-print-NNNN-Y.bmp, -M.bmp,
-C.bmp, and with png=1 as NAME-print-NNNN.png.
)";

}  // namespace

const char* TQ58_EmulatorHelp()
{
  return kEmulatorHelp;
}
