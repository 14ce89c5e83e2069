// The printer emulator as a program: attaches the printers of its command
// line to an emulated USB bus or as USB gadgets, and takes commands on
// standard input.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Emulator.h"
#include "EmulatorCommands.h"

namespace {

struct PrinterOption {
  std::string name;
  EmulatedPrinterState state;
  std::string udc;  // empty: on the bus
};

struct Options {
  std::string bus;
  std::vector<PrinterOption> printers;
};

// Parses the command line; returns 0 to run, else the exit status (after --help: 0 + 1000).
int ParseOptions(int argc, char** argv, Options* o)
{
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    std::string error;
    if (arg == "--help" || arg == "-h") {
      std::fputs(TQ58_EmulatorHelp(), stdout);
      return 1000;
    } else if (arg == "--bus" && hasValue) {
      o->bus = argv[++i];
    } else if (arg == "--printer" && hasValue) {
      o->printers.push_back(PrinterOption{argv[++i], EmulatedPrinterState(), ""});
    } else if (arg == "--gadget" && i + 2 < argc) {
      o->printers.push_back(PrinterOption{argv[i + 2], EmulatedPrinterState(), argv[i + 1]});
      i += 2;
    } else if (arg == "--set" && hasValue && !o->printers.empty()) {
      const std::string kv = argv[++i];
      const size_t eq = kv.find('=');
      if (eq == std::string::npos ||
          !TQ58_EmulatorApplySetting(&o->printers.back().state, kv.substr(0, eq), kv.substr(eq + 1), &error)) {
        std::fprintf(stderr, "tq58-emulator: bad --set %s %s\n", kv.c_str(), error.c_str());
        return 2;
      }
    } else {
      std::fprintf(stderr, "tq58-emulator: unexpected argument %s (see --help)\n", arg.c_str());
      return 2;
    }
  }
  for (const PrinterOption& p : o->printers) {
    if (p.udc.empty() && o->bus.empty()) {
      std::fputs("tq58-emulator: --printer needs --bus FOLDER (see --help)\n", stderr);
      return 2;
    }
  }
  if (o->bus.empty() && o->printers.empty()) {
    std::fputs("tq58-emulator: --bus FOLDER or --gadget UDC NAME is required (see --help)\n", stderr);
    return 2;
  }
  return 0;
}

// Reads commands until quit or a signal. Standard input at its end is no
// longer read, and the printers stay until a signal comes.
void CommandLoop(Emulator* emulator, int signalFd)
{
  std::string pending;
  bool inputOpen = true, quit = false;
  while (!quit) {
    pollfd fds[2] = {{signalFd, POLLIN, 0}, {inputOpen ? 0 : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents != 0) return;
    if (fds[1].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = read(0, buffer, sizeof buffer);
    if (n <= 0) {
      inputOpen = false;
      continue;
    }
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t eol; !quit && (eol = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, eol);
      pending.erase(0, eol + 1);
      const std::string answer = TQ58_EmulatorRunCommand(emulator, line, &quit);
      if (!answer.empty()) std::printf("%s\n", answer.c_str());
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv)
{
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed != 0) return parsed == 1000 ? 0 : parsed;

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before the serving thread starts
  const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);

  Emulator emulator(options.bus);
  for (const PrinterOption& p : options.printers) {
    std::string error;
    EmulatorGadgetPort port;
    port.udc = p.udc;
    const bool plugged =
        p.udc.empty() ? emulator.Plug(p.name, p.state, &error) : emulator.PlugGadget(p.name, p.state, port, &error);
    if (!plugged) {
      std::fprintf(stderr, "tq58-emulator: %s\n", error.c_str());
      return 1;
    }
  }
  std::printf("ready\n");
  std::fflush(stdout);
  CommandLoop(&emulator, signalFd);
  close(signalFd);
  return 0;
}
