// The emulated bus transport: a printer is the sub-folder of the bus folder
// holding its "device" file and its "bulk" socket; each connection to the
// socket is the host opening the printer interface.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "EmulatorInternal.h"

namespace tq58emu {
namespace {

// Creates a listening Unix socket at folder/name; -1 on failure.
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

class BusTransport final : public Transport {
public:
  BusTransport(std::string folder, EmulatedPrinterState state) : folder_(std::move(folder)), state_(std::move(state)) {}
  ~BusTransport() override
  {
    if (listenFd_ >= 0) close(listenFd_);
  }

  // Writes "device" first and creates the socket last, as a plug-in does.
  bool Attach(std::string* error)
  {
    mkdir(folder_.c_str(), 0755);
    unlink((folder_ + "/bulk").c_str());
    if (!(std::ofstream(folder_ + "/device") << DeviceFileText(state_))) {
      *error = "cannot write " + folder_ + "/device";
      return false;
    }
    listenFd_ = ListenUnix(folder_, "bulk");
    if (listenFd_ < 0) *error = "cannot create " + folder_ + "/bulk";
    return listenFd_ >= 0;
  }

  void Accept(std::vector<std::unique_ptr<Connection>>* connections) override
  {
    for (;;) {
      const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      auto c = std::make_unique<Connection>();
      c->fd = fd;
      connections->push_back(std::move(c));
    }
  }
  int GetAcceptFd() const override { return listenFd_; }
  ssize_t Read(int fd, char* buffer, size_t size) override
  {
    const ssize_t n = recv(fd, buffer, size, MSG_DONTWAIT);
    return n > 0 ? n : n == 0 ? -1 : Retry();  // 0: the host closed it
  }
  ssize_t Write(int fd, const char* data, size_t size) override
  {
    const ssize_t n = send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
    return n >= 0 ? n : Retry();
  }
  void Close(int fd) override { close(fd); }

  // Replaced whole, so the host never reads half a file.
  bool SetIdentity(const EmulatedPrinterState& state) override
  {
    const std::string after = DeviceFileText(state);
    if (after == DeviceFileText(state_)) return true;
    state_ = state;
    const std::string tmp = folder_ + "/.device.tmp";
    if (!(std::ofstream(tmp) << after)) return false;
    return std::rename(tmp.c_str(), (folder_ + "/device").c_str()) == 0;
  }

  // The socket goes first, then the folder, with the "claim" file a host
  // may have made in it.
  void Leave() override
  {
    if (listenFd_ < 0) return;
    unlink((folder_ + "/bulk").c_str());
    close(listenFd_);
    listenFd_ = -1;
    unlink((folder_ + "/device").c_str());
    unlink((folder_ + "/claim").c_str());
    rmdir(folder_.c_str());
  }

  void Detach(std::vector<std::unique_ptr<Connection>>* connections) override
  {
    Leave();
    for (const auto& c : *connections) close(c->fd);
    connections->clear();
  }

private:
  // 0 when the call only has to be made again later, -1 when the connection failed.
  static ssize_t Retry() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? 0 : -1; }

  std::string folder_;
  EmulatedPrinterState state_;
  int listenFd_ = -1;
};

}  // namespace

std::string DeviceFileText(const EmulatedPrinterState& s)
{
  return "idVendor=" + std::to_string(s.vendorId) + "\nidProduct=" + std::to_string(s.productId) +
         "\nconfiguration=" + std::to_string(s.configuration) + "\ninterface=" + std::to_string(s.interfaceNumber) +
         "\ndevice_id=" + s.deviceId + "\n";
}

std::unique_ptr<Transport> MakeBusTransport(const std::string& folder, const EmulatedPrinterState& state,
                                            std::string* error)
{
  auto transport = std::make_unique<BusTransport>(folder, state);
  if (!transport->Attach(error)) return nullptr;
  return transport;
}

}  // namespace tq58emu
