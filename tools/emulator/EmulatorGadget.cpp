// The USB gadget transport (Linux): a printer is a configfs gadget with the
// printer function, plugged in by binding it to a USB device controller and
// unplugged by unbinding it. The host side is then a real USB printer; what
// the host writes to its bulk OUT pipe is read from the function's device
// (/dev/g_printerN), what is written there goes to its bulk IN pipe.
//
// The kernel's rules: the device opens only once the host has configured the
// gadget (ENODEV until then, so opening is tried again); it must be closed
// before the gadget is unbound (a descriptor kept across an unbind upsets the
// kernel when it is closed later), and it is only ever closed and unbound by
// the serving thread, between its polls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <thread>

#include "EmulatorInternal.h"

namespace tq58emu {
namespace {

constexpr int kOpenRetryMs = 10;
constexpr unsigned kDrainMs = 200;     // for an answer queued at the controller to be read
constexpr int kNodeWaitMs = 2000;      // for the device node after binding
constexpr size_t kMaxUsbString = 126;  // characters of a USB string descriptor
constexpr const char* kFunction = "printer.usb0";
// The printer function answers GET_DEVICE_ID with its pnp_string's length as
// the length field and that many bytes in all, the field included, so the
// string's last two bytes never go out. Two padding bytes at its end make
// the host receive the device ID whole, with a length field that counts
// itself as it should.
constexpr const char* kDeviceIdPadding = "  ";

// Writes value to a configfs attribute. False (with *error) when it cannot.
bool WriteAttribute(const std::string& path, const std::string& value, std::string* error)
{
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  const bool ok = fd >= 0 && write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
  if (!ok && error != nullptr) *error = "cannot write " + path + ": " + std::strerror(errno);
  if (fd >= 0) close(fd);
  return ok;
}

std::vector<std::string> ListFolder(const std::string& folder, const char* prefix = "")
{
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name != "." && name != ".." && name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  closedir(dir);
  return names;
}

// Printable ASCII of text, as a USB string descriptor may hold it.
std::string UsbString(const std::string& text)
{
  std::string out;
  for (char c : text) {
    if (c >= 0x20 && c < 0x7F && out.size() < kMaxUsbString) out.push_back(c);
  }
  return out;
}

std::string Hex4(int value)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned>(value) & 0xFFFF);
  return text;
}

// Unbinds a gadget folder and removes it with everything below it, children
// before parents as configfs wants. Blocks briefly.
void RemoveGadget(const std::string& dir)
{
  if (access(dir.c_str(), F_OK) != 0) return;
  WriteAttribute(dir + "/UDC", "\n", nullptr);
  for (const std::string& config : ListFolder(dir + "/configs")) {
    const std::string c = dir + "/configs/" + config;
    for (const std::string& entry : ListFolder(c)) {
      struct stat st;
      if (lstat((c + "/" + entry).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) unlink((c + "/" + entry).c_str());
    }
    for (const std::string& language : ListFolder(c + "/strings")) rmdir((c + "/strings/" + language).c_str());
    rmdir(c.c_str());
  }
  for (const std::string& function : ListFolder(dir + "/functions")) rmdir((dir + "/functions/" + function).c_str());
  for (const std::string& language : ListFolder(dir + "/strings")) rmdir((dir + "/strings/" + language).c_str());
  rmdir(dir.c_str());
}

class GadgetTransport final : public Transport {
public:
  GadgetTransport(std::string dir, EmulatorGadgetPort port) : dir_(std::move(dir)), port_(std::move(port)) {}
  ~GadgetTransport() override
  {
    if (fd_ >= 0) close(fd_);
    RemoveGadget(dir_);
  }

  bool Attach(const EmulatedPrinterState& state, std::string* error);

  void Accept(std::vector<std::unique_ptr<Connection>>* connections) override
  {
    if (fd_ >= 0) return;
    fd_ = open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;  // ENODEV until the host has configured the gadget
    auto c = std::make_unique<Connection>();
    c->fd = fd_;
    c->hostOpened = false;
    connections->push_back(std::move(c));
  }
  int GetAcceptFd() const override { return -1; }
  int GetAcceptRetryMs() const override { return fd_ < 0 ? kOpenRetryMs : -1; }

  ssize_t Read(int fd, char* buffer, size_t size) override { return Result(read(fd, buffer, size)); }
  ssize_t Write(int fd, const char* data, size_t size) override { return Result(write(fd, data, size)); }
  void Close(int fd) override
  {
    close(fd);
    if (fd == fd_) fd_ = -1;
  }

  // The host read the descriptors at enumeration: a change shows at the next plug.
  bool SetIdentity(const EmulatedPrinterState& /*state*/) override { return true; }
  void Leave() override {}
  void Detach(std::vector<std::unique_ptr<Connection>>* connections) override
  {
    for (const auto& c : *connections) Close(c->fd);
    connections->clear();
    RemoveGadget(dir_);
  }
  unsigned GetDrainMs() const override { return kDrainMs; }

private:
  // read(2)/write(2) results as the serving loop takes them: -1 only when
  // the device failed (the host reset or dropped the configuration).
  static ssize_t Result(ssize_t n)
  {
    if (n >= 0) return n;
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1;
  }
  bool Build(const EmulatedPrinterState& state, std::string* error);
  bool FindDevice(const std::set<std::string>& before, std::string* error);

  std::string dir_;
  EmulatorGadgetPort port_;
  std::string device_;
  int fd_ = -1;
};

// The gadget's folders and attributes: IDs, serial number string, the
// printer function with the device ID, one configuration holding it.
bool GadgetTransport::Build(const EmulatedPrinterState& state, std::string* error)
{
  const int configuration = state.configuration >= 1 && state.configuration <= 255 ? state.configuration : 1;
  const std::string config = dir_ + "/configs/c." + std::to_string(configuration);
  const std::string function = dir_ + "/functions/" + kFunction;
  for (const std::string& folder : {dir_, dir_ + "/strings/0x409", function, config}) {
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      *error = "cannot make " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  if (!WriteAttribute(dir_ + "/idVendor", Hex4(state.vendorId), error) ||
      !WriteAttribute(dir_ + "/idProduct", Hex4(state.productId), error) ||
      !WriteAttribute(dir_ + "/bcdUSB", "0x0200", error) ||
      !WriteAttribute(dir_ + "/strings/0x409/serialnumber", UsbString(state.serial), error) ||
      !WriteAttribute(function + "/pnp_string", state.deviceId + kDeviceIdPadding, error)) {
    return false;
  }
  if (symlink(function.c_str(), (config + "/" + kFunction).c_str()) != 0 && errno != EEXIST) {
    *error = "cannot link the printer function into " + config + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// The device of the function: the one named by the port, else the node that
// appeared on binding.
bool GadgetTransport::FindDevice(const std::set<std::string>& before, std::string* error)
{
  if (!port_.device.empty()) {
    device_ = port_.device;
    return true;
  }
  for (int waited = 0; waited < kNodeWaitMs; waited += 5) {
    for (const std::string& name : ListFolder(port_.devices, "g_printer")) {
      if (before.count(name) == 0) {
        device_ = port_.devices + "/" + name;
        return true;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  *error = "no new g_printer device appeared in " + port_.devices + " when " + dir_ + " was bound";
  return false;
}

bool GadgetTransport::Attach(const EmulatedPrinterState& state, std::string* error)
{
  RemoveGadget(dir_);  // one left behind by a run that did not end well
  if (port_.udc.empty()) {
    *error = "no USB device controller given";
    return false;
  }
  const std::vector<std::string> nodes = ListFolder(port_.devices, "g_printer");
  const std::set<std::string> before(nodes.begin(), nodes.end());
  if (!Build(state, error) || !WriteAttribute(dir_ + "/UDC", port_.udc, error) || !FindDevice(before, error)) {
    RemoveGadget(dir_);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<Transport> MakeGadgetTransport(const std::string& name, const EmulatedPrinterState& state,
                                               const EmulatorGadgetPort& port, std::string* error)
{
  auto transport = std::make_unique<GadgetTransport>(port.configfs + "/tq58-" + name, port);
  if (!transport->Attach(state, error)) return nullptr;
  return transport;
}

}  // namespace tq58emu
