#include "EmulatedBus.h"

EmulatedBus::EmulatedBus() : folder_("tq58-bus"), emulator_(std::make_unique<Emulator>(folder_.GetPath())) {}

EmulatedBus::~EmulatedBus()
{
  Stop();
}
