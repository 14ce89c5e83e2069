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
#include "StandardOptions.h"

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

// Parses the command line; returns kTQ58RunProgram to run, else the exit status.
int ParseOptions(int argc, char** argv, Options* o)
{
  const ProgramUsage usage{
      "tq58-emulator", TQ58_EmulatorHelp(), {{"--bus", 1}, {"--printer", 1}, {"--gadget", 2}, {"--set", 1}}, 0, 0};
  ProgramArguments command;
  const int handled = TQ58_HandleStandardOptions(argc, argv, usage, &command);
  if (handled != kTQ58RunProgram) return handled;
  for (const GivenOption& option : command.options) {
    std::string error;
    if (option.name == "--bus") {
      o->bus = option.values[0];
    } else if (option.name == "--printer") {
      o->printers.push_back(PrinterOption{option.values[0], EmulatedPrinterState(), ""});
    } else if (option.name == "--gadget") {
      o->printers.push_back(PrinterOption{option.values[1], EmulatedPrinterState(), option.values[0]});
    } else if (o->printers.empty()) {
      return TQ58_UsageError(usage, "--set needs a --printer or --gadget before it");
    } else {
      const std::string& kv = option.values[0];
      const size_t eq = kv.find('=');
      if (eq == std::string::npos ||
          !TQ58_EmulatorApplySetting(&o->printers.back().state, kv.substr(0, eq), kv.substr(eq + 1), &error)) {
        std::fprintf(stderr, "tq58-emulator: bad --set %s %s\n", kv.c_str(), error.c_str());
        return kTQ58UsageExit;
      }
    }
  }
  for (const PrinterOption& p : o->printers) {
    if (p.udc.empty() && o->bus.empty()) return TQ58_UsageError(usage, "--printer needs --bus FOLDER");
  }
  if (o->bus.empty() && o->printers.empty()) {
    return TQ58_UsageError(usage, "--bus FOLDER or --gadget UDC NAME is required");
  }
  return kTQ58RunProgram;
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
  if (parsed != kTQ58RunProgram) return parsed;

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
