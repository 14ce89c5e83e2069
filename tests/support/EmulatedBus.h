// The printer emulator serving a temporary emulated-USB bus folder of its own,
// for one test: the folder is made first, the emulator stopped (every printer
// unplugged) before the folder is removed. Used like a pointer to the
// Emulator: bus->Plug(...), bus->GetCommandLog(...).
#ifndef TQ58_TEST_EMULATEDBUS_H
#define TQ58_TEST_EMULATEDBUS_H

#include <memory>
#include <string>

#include "Emulator.h"
#include "TempDir.h"

class EmulatedBus {
public:
  // Makes /tmp/tq58-bus-XXXXXX and starts the emulator on it, with no printer
  // attached. Throws std::runtime_error when the folder cannot be made.
  EmulatedBus();
  // Stops the emulator, then removes the folder.
  ~EmulatedBus();
  EmulatedBus(const EmulatedBus&) = delete;
  EmulatedBus& operator=(const EmulatedBus&) = delete;

  // The bus folder (what TQ58_EMULATED_USB names).
  const std::string& GetFolder() const { return folder_.GetPath(); }
  // The emulator; null once stopped.
  Emulator* GetEmulator() const { return emulator_.get(); }
  Emulator* operator->() const { return emulator_.get(); }
  // Unplugs every printer and stops serving; the folder stays until the end. Blocks briefly.
  void Stop() { emulator_.reset(); }

private:
  TempDir folder_;  // first: made before the emulator, removed after it
  std::unique_ptr<Emulator> emulator_;
};

#endif
