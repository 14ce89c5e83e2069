// The emulator's public side: printers come and go on a transport, the
// serving thread (EmulatorServer.cpp) does the rest.
#include "Emulator.h"

#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EmulatorInternal.h"

using tq58emu::Leave;
using tq58emu::Printer;

namespace {

constexpr auto kGadgetOpenWait = std::chrono::seconds(15);

bool Fail(std::string* error, const std::string& why)
{
  if (error != nullptr) *error = why;
  return false;
}

bool IsPrinterName(const std::string& name)
{
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

}  // namespace

void Emulator::Impl::Wake()
{
  const uint64_t one = 1;
  if (write(wakeFd, &one, sizeof one) < 0) {
    // The counter is full: the loop is awake anyway.
  }
}

Printer* Emulator::Impl::Find(const std::string& name) const
{
  const auto it = printers.find(name);
  return it == printers.end() ? nullptr : it->second.get();
}

Emulator::Emulator(std::string busFolder) : busFolder_(std::move(busFolder)), impl_(std::make_unique<Impl>())
{
  if (!busFolder_.empty()) mkdir(busFolder_.c_str(), 0755);
  impl_->wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  impl_->thread = std::thread(tq58emu::Serve, impl_.get());
}

Emulator::~Emulator()
{
  std::vector<std::string> names;
  {
    std::lock_guard<std::mutex> lock(impl_->m);
    for (const auto& [name, printer] : impl_->printers) names.push_back(name);
  }
  for (const std::string& name : names) Unplug(name);
  {
    std::lock_guard<std::mutex> lock(impl_->m);
    impl_->stop = true;
  }
  impl_->Wake();
  impl_->thread.join();
  close(impl_->wakeFd);
}

bool Emulator::Plug(const std::string& name, const EmulatedPrinterState& state, std::string* error)
{
  if (!IsPrinterName(name)) return Fail(error, "bad printer name");
  if (busFolder_.empty()) return Fail(error, "the emulator has no bus folder");
  std::lock_guard<std::mutex> lock(impl_->m);
  if (impl_->Find(name) != nullptr) return Fail(error, "printer " + name + " is attached already");
  auto printer = std::make_unique<Printer>();
  printer->name = name;
  printer->state = state;
  std::string why;
  printer->transport = tq58emu::MakeBusTransport(busFolder_ + "/" + name, state, &why);
  if (printer->transport == nullptr) return Fail(error, why);
  impl_->printers[name] = std::move(printer);
  impl_->Wake();
  return true;
}

bool Emulator::PlugGadget(const std::string& name, const EmulatedPrinterState& state, const EmulatorGadgetPort& port,
                          std::string* error)
{
  if (!IsPrinterName(name)) return Fail(error, "bad printer name");
  std::unique_lock<std::mutex> lock(impl_->m);
  if (impl_->Find(name) != nullptr) return Fail(error, "printer " + name + " is attached already");
  auto owned = std::make_unique<Printer>();
  Printer* printer = owned.get();
  printer->name = name;
  printer->state = state;
  // Made and bound under the lock, one gadget at a time: the device node that
  // appears on binding is this gadget's.
  std::string why;
  printer->transport = tq58emu::MakeGadgetTransport(name, state, port, &why);
  if (printer->transport == nullptr) return Fail(error, why);
  impl_->printers[name] = std::move(owned);
  impl_->Wake();
  // The serving thread opens the device once the host has configured the gadget.
  const auto gone = [&] { return impl_->Find(name) != printer; };
  const bool opened =
      impl_->changed.wait_for(lock, kGadgetOpenWait, [&] { return gone() || printer->connectionCount > 0; });
  if (gone()) return Fail(error, "printer " + name + " left while it was plugged in");
  if (opened) return true;
  printer->leave = Leave::kRequest;
  impl_->Wake();
  impl_->changed.wait(lock, gone);
  return Fail(error, "the host did not configure the gadget of " + name + " (its device did not open)");
}

bool Emulator::Unplug(const std::string& name)
{
  std::unique_lock<std::mutex> lock(impl_->m);
  Printer* printer = impl_->Find(name);
  if (printer == nullptr) return false;
  // The serving thread detaches it between two polls: a gadget's device is
  // then in no one's hands when it is closed before the unbinding.
  printer->leave = Leave::kRequest;
  impl_->Wake();
  impl_->changed.wait(lock, [&] { return impl_->Find(name) != printer; });
  return true;
}

bool Emulator::IsPlugged(const std::string& name) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  return impl_->Find(name) != nullptr;
}

bool Emulator::GetState(const std::string& name, EmulatedPrinterState* state) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  const Printer* printer = impl_->Find(name);
  if (printer == nullptr || state == nullptr) return false;
  *state = printer->state;
  return true;
}

bool Emulator::SetState(const std::string& name, const EmulatedPrinterState& state)
{
  std::lock_guard<std::mutex> lock(impl_->m);
  Printer* printer = impl_->Find(name);
  if (printer == nullptr) return false;
  printer->state = state;
  return printer->transport->SetIdentity(state);
}

bool Emulator::Update(const std::string& name, const std::function<void(EmulatedPrinterState&)>& change)
{
  EmulatedPrinterState state;
  if (!GetState(name, &state)) return false;
  change(state);
  return SetState(name, state);
}

bool Emulator::InjectFault(const std::string& name, const EmulatorFaultSpec& fault)
{
  std::lock_guard<std::mutex> lock(impl_->m);
  Printer* printer = impl_->Find(name);
  if (printer == nullptr) return false;
  printer->faults.push_back(fault);
  return true;
}

bool Emulator::ClearFaults(const std::string& name)
{
  std::lock_guard<std::mutex> lock(impl_->m);
  Printer* printer = impl_->Find(name);
  if (printer == nullptr) return false;
  printer->faults.clear();
  return true;
}

int Emulator::GetPrintCount(const std::string& name) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  const Printer* printer = impl_->Find(name);
  return printer == nullptr ? -1 : static_cast<int>(printer->prints.size());
}

std::vector<EmulatedPrint> Emulator::GetPrints(const std::string& name) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  const Printer* printer = impl_->Find(name);
  return printer == nullptr ? std::vector<EmulatedPrint>() : printer->prints;
}

std::vector<std::string> Emulator::GetCommandLog(const std::string& name) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  const Printer* printer = impl_->Find(name);
  return printer == nullptr ? std::vector<std::string>() : printer->log;
}

void Emulator::ClearCommandLog(const std::string& name)
{
  std::lock_guard<std::mutex> lock(impl_->m);
  if (Printer* printer = impl_->Find(name)) printer->log.clear();
}

int Emulator::GetConnectionCount(const std::string& name) const
{
  std::lock_guard<std::mutex> lock(impl_->m);
  const Printer* printer = impl_->Find(name);
  return printer == nullptr ? -1 : printer->connectionCount;
}
