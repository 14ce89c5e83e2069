// The emulator's text commands, as the program reads them on standard input
// and as --set takes them on its command line.
#ifndef TQ58_EMULATORCOMMANDS_H
#define TQ58_EMULATORCOMMANDS_H

#include <string>

#include "Emulator.h"

// Applies one setting ("serial", "status", "media-size", ... see the help
// text) to state. value may hold the escapes \r \n \t \\ and \xHH. False with
// a reason for an unknown key or a bad number.
bool TQ58_EmulatorApplySetting(EmulatedPrinterState* state, const std::string& key, const std::string& value,
                               std::string* error);

// Runs one command line against emulator and returns what to print: "ok",
// "error: ..." or the lines a command shows followed by "ok". Sets *quit for
// "quit". Blocks only as the emulator's methods do.
std::string TQ58_EmulatorRunCommand(Emulator* emulator, const std::string& line, bool* quit);

// The --help text, with the reply formats and the commands.
const char* TQ58_EmulatorHelp();

#endif
