// The emulator's bus side: printers come and go as folders of the bus.
#include "Emulator.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "EmulatorInternal.h"

namespace tq58emu {

std::string DeviceFileText(const EmulatedPrinterState& s)
{
  return "idVendor=" + std::to_string(s.vendorId) + "\nidProduct=" + std::to_string(s.productId) +
         "\nconfiguration=" + std::to_string(s.configuration) + "\ninterface=" + std::to_string(s.interfaceNumber) +
         "\ndevice_id=" + s.deviceId + "\n";
}

int ListenUnix(const std::string& folder, const std::string& name)
{
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = folder + "/" + name;
  int dirFd = -1;
  if (path.size() >= sizeof addr.sun_path) {  // too long: go through the folder's descriptor
    dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
  }
  int fd = -1;
  if (path.size() < sizeof addr.sun_path) {
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0)) {
      close(fd);
      fd = -1;
    }
  }
  if (dirFd >= 0) close(dirFd);
  return fd;
}

}  // namespace tq58emu

using tq58emu::Printer;

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
  mkdir(busFolder_.c_str(), 0755);
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
  const auto fail = [&](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (name.empty() || name[0] == '.' || name.find('/') != std::string::npos) return fail("bad printer name");
  std::lock_guard<std::mutex> lock(impl_->m);
  if (impl_->Find(name) != nullptr) return fail("printer " + name + " is attached already");
  auto printer = std::make_unique<Printer>();
  printer->name = name;
  printer->folder = busFolder_ + "/" + name;
  printer->state = state;
  mkdir(printer->folder.c_str(), 0755);
  unlink((printer->folder + "/bulk").c_str());
  if (!(std::ofstream(printer->folder + "/device") << tq58emu::DeviceFileText(state))) {
    return fail("cannot write " + printer->folder + "/device");
  }
  printer->listenFd = tq58emu::ListenUnix(printer->folder, "bulk");
  if (printer->listenFd < 0) return fail("cannot create " + printer->folder + "/bulk");
  impl_->printers[name] = std::move(printer);
  impl_->Wake();
  return true;
}

bool Emulator::Unplug(const std::string& name)
{
  std::lock_guard<std::mutex> lock(impl_->m);
  Printer* printer = impl_->Find(name);
  if (printer == nullptr) return false;
  unlink((printer->folder + "/bulk").c_str());
  close(printer->listenFd);
  for (const auto& c : printer->connections) close(c->fd);
  unlink((printer->folder + "/device").c_str());
  rmdir(printer->folder.c_str());
  impl_->printers.erase(name);
  impl_->Wake();
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
  const std::string before = tq58emu::DeviceFileText(printer->state);
  printer->state = state;
  const std::string after = tq58emu::DeviceFileText(state);
  if (after == before) return true;
  // Replaced whole, so the host never reads half a file.
  const std::string tmp = printer->folder + "/.device.tmp";
  if (!(std::ofstream(tmp) << after)) return false;
  return rename(tmp.c_str(), (printer->folder + "/device").c_str()) == 0;
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
