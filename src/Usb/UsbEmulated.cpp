#include "UsbEmulated.h"

#include <sys/file.h>
#include <sys/inotify.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxDeviceFile = 64 * 1024;
constexpr uint8_t kGetDeviceIdType = 0xA1;
constexpr uint8_t kGetDeviceIdRequest = 0;

int ParseDecimal(const std::string& text)
{
  if (text.empty() || text.size() > 9) return -1;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
  }
  return std::atoi(text.c_str());
}

// Milliseconds left until deadline, at least 0.
int MsLeft(Clock::time_point deadline)
{
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

// Connects to the socket at path; a path too long for sun_path goes through
// the folder's descriptor. Returns the socket or -1.
int ConnectUnix(const std::string& folder, const std::string& name)
{
  std::string path = folder + "/" + name;
  int dirFd = -1;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    dirFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return -1;
    path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + name;
    if (path.size() >= sizeof addr.sun_path) {
      close(dirFd);
      return -1;
    }
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    fd = -1;
  }
  if (dirFd >= 0) close(dirFd);
  return fd;
}

// Identity of the socket folder/bulk for one plug-in (inode and change time,
// since a socket made again at once may get the same inode); empty when there
// is no socket.
std::string SocketIdentity(const std::string& deviceFolder)
{
  struct stat st;
  if (lstat((deviceFolder + "/bulk").c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return std::string();
  char text[64];
  std::snprintf(text, sizeof text, "%llu.%lld.%09ld", static_cast<unsigned long long>(st.st_ino),
                static_cast<long long>(st.st_ctim.tv_sec), static_cast<long>(st.st_ctim.tv_nsec));
  return text;
}

// Claims the device of deviceFolder for this open file: an exclusive flock on
// its file "claim", made mode 0666 when missing so that any user's host
// program can take it. Returns the locked descriptor, or -1 with *status
// kUsbRefused (held by another open, or not a plain file) or kUsbNoDevice
// (the folder is gone). Does not block.
int ClaimDevice(const std::string& deviceFolder, UsbStatus* status)
{
  const std::string path = deviceFolder + "/claim";
  constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666);
  if (fd >= 0) {
    fchmod(fd, 0666);  // whatever the umask took away
  } else if (errno == EEXIST) {
    fd = open(path.c_str(), kFlags);
  }
  if (fd < 0) {
    *status = errno == ENOENT ? kUsbNoDevice : kUsbRefused;
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    *status = kUsbRefused;
    return -1;
  }
  *status = kUsbOk;
  return fd;
}

class EmulatedInterface final : public UsbInterface {
public:
  EmulatedInterface(int fd, int claimFd, std::string deviceFile, const EmulatedDeviceFile& info, unsigned maxTimeoutMs)
      : fd_(fd), claimFd_(claimFd), deviceFile_(std::move(deviceFile)), info_(info), maxTimeoutMs_(maxTimeoutMs)
  {}
  // The connection closes first, then the claim is released.
  ~EmulatedInterface() override
  {
    close(fd_);
    close(claimFd_);
  }

  UsbStatus BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred) override;
  UsbStatus BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred) override;
  UsbStatus ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                      uint16_t length, unsigned timeoutMs, int* transferred) override;
  UsbStatus GetConfigurationValue(int* value) override { return GetValue(info_.configuration, value); }
  UsbStatus GetInterfaceNumber(int* value) override { return GetValue(info_.interfaceNumber, value); }

private:
  static UsbStatus GetValue(int field, int* value)
  {
    if (value == nullptr) return kUsbInvalid;
    *value = field;
    return field < 0 ? kUsbRefused : kUsbOk;
  }
  Clock::time_point Deadline(unsigned timeoutMs) const
  {
    if (maxTimeoutMs_ != 0) timeoutMs = std::min(timeoutMs, maxTimeoutMs_);
    return Clock::now() + std::chrono::milliseconds(timeoutMs);
  }

  // Checks a transfer's arguments and the connection and sets *done to 0;
  // kUsbOk when the transfer may go on. Does not block.
  UsbStatus StartTransfer(const void* data, int size, int* done) const;

  int fd_;
  int claimFd_;        // holds the flock on the device's "claim" file
  bool gone_ = false;  // the printer closed the connection
  std::string deviceFile_;
  EmulatedDeviceFile info_;
  unsigned maxTimeoutMs_;
};

UsbStatus EmulatedInterface::StartTransfer(const void* data, int size, int* done) const
{
  *done = 0;
  if ((data == nullptr && size > 0) || size < 0) return kUsbInvalid;
  return gone_ ? kUsbNoDevice : kUsbOk;
}

UsbStatus EmulatedInterface::BulkWrite(const unsigned char* data, int size, unsigned timeoutMs, int* transferred)
{
  int dummy = 0;
  int& done = transferred != nullptr ? *transferred : dummy;
  if (const UsbStatus status = StartTransfer(data, size, &done); status != kUsbOk) return status;
  const auto deadline = Deadline(timeoutMs);
  while (done < size) {
    const ssize_t n = send(fd_, data + done, static_cast<size_t>(size - done), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      gone_ = true;
      return kUsbNoDevice;
    }
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, MsLeft(deadline)) == 0) return kUsbTimeout;
  }
  return kUsbOk;
}

UsbStatus EmulatedInterface::BulkRead(unsigned char* data, int size, unsigned timeoutMs, int* transferred)
{
  int dummy = 0;
  int& done = transferred != nullptr ? *transferred : dummy;
  if (const UsbStatus status = StartTransfer(data, size, &done); status != kUsbOk) return status;
  const auto deadline = Deadline(timeoutMs);
  while (done < size) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = poll(&p, 1, MsLeft(deadline));
    if (ready == 0) return kUsbTimeout;
    if (ready < 0) {
      if (errno == EINTR) continue;
      return kUsbRefused;
    }
    const ssize_t n = recv(fd_, data + done, static_cast<size_t>(size - done), MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<int>(n);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      gone_ = true;
      return kUsbNoDevice;
    }
  }
  return kUsbOk;
}

UsbStatus EmulatedInterface::ControlIn(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                                       unsigned char* data, uint16_t length, unsigned /*timeoutMs*/, int* transferred)
{
  if (transferred != nullptr) *transferred = 0;
  if (data == nullptr && length > 0) return kUsbInvalid;
  EmulatedDeviceFile now;
  if (!TQ58_ReadEmulatedDeviceFile(deviceFile_, &now)) return kUsbNoDevice;
  const uint16_t expectedValue = static_cast<uint16_t>((now.configuration - 1) & 0xFF);
  const uint16_t expectedIndex = static_cast<uint16_t>(now.interfaceNumber * 256);
  if (requestType != kGetDeviceIdType || request != kGetDeviceIdRequest || now.configuration < 0 ||
      now.interfaceNumber < 0 || value != expectedValue || index != expectedIndex) {
    return kUsbTransferError;  // a stalled request
  }
  // The reply: a big-endian length counting its own two bytes, then the ID.
  const size_t idSize = std::min<size_t>(now.deviceId.size(), 0xFFFF - 2);
  const size_t total = idSize + 2;
  std::string reply;
  reply.push_back(static_cast<char>((total >> 8) & 0xFF));
  reply.push_back(static_cast<char>(total & 0xFF));
  reply.append(now.deviceId, 0, idSize);
  const size_t n = std::min<size_t>(reply.size(), length);
  std::memcpy(data, reply.data(), n);
  if (transferred != nullptr) *transferred = static_cast<int>(n);
  return kUsbOk;
}

class EmulatedDevice final : public UsbDevice {
public:
  EmulatedDevice(std::string folder, std::string socket, const EmulatedDeviceFile& info, unsigned maxTimeoutMs)
      : folder_(std::move(folder)), socket_(std::move(socket)), info_(info), maxTimeoutMs_(maxTimeoutMs)
  {}
  int GetInterfaceCount() const override { return 1; }
  UsbStatus OpenInterface(int index, std::unique_ptr<UsbInterface>* out) override
  {
    if (out == nullptr || index != 0) return kUsbInvalid;
    out->reset();
    // One claim at a time: a claim held by another open fails at once.
    UsbStatus status = kUsbOk;
    const int claimFd = ClaimDevice(folder_, &status);
    if (claimFd < 0) return status;
    const int fd = ConnectUnix(folder_, "bulk");
    // An open device is one plug-in, as on USB: a printer plugged in again
    // under the same folder is another device and must be opened anew.
    // Checked after connecting, so a socket replaced meanwhile is caught.
    if (fd < 0 || SocketIdentity(folder_) != socket_) {
      if (fd >= 0) close(fd);
      close(claimFd);
      return kUsbNoDevice;
    }
    *out = std::make_unique<EmulatedInterface>(fd, claimFd, folder_ + "/device", info_, maxTimeoutMs_);
    return kUsbOk;
  }

private:
  std::string folder_;
  std::string socket_;  // the plug-in this device was opened for
  EmulatedDeviceFile info_;
  unsigned maxTimeoutMs_;
};

// One attached device of the folder, unfiltered.
struct Attached {
  std::string name;
  std::string socket;  // SocketIdentity
  EmulatedDeviceFile info;
};

class EmulatedBus final : public UsbBus {
public:
  EmulatedBus(std::string folder, const EmulatedBusOptions& options) : folder_(std::move(folder)), options_(options) {}

  UsbStatus ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices) override;
  void WaitForChange(unsigned timeoutMs) override;
  UsbStatus OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out) override;

private:
  bool Scan(std::vector<Attached>* attached) const;
  static std::string MakeId(const Attached& a) { return a.name + "#" + a.socket; }

  std::string folder_;
  EmulatedBusOptions options_;
  // What the last listing saw: a wait ends on any difference from it, also
  // one that came between the listing and the wait.
  std::mutex listedLock_;
  std::vector<Attached> listed_;
};

bool EmulatedBus::Scan(std::vector<Attached>* attached) const
{
  attached->clear();
  DIR* dir = opendir(folder_.c_str());
  if (dir == nullptr) return errno == ENOENT;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    Attached a;
    a.name = entry->d_name;
    const std::string deviceFolder = folder_ + "/" + a.name;
    a.socket = SocketIdentity(deviceFolder);
    if (a.socket.empty() || !TQ58_ReadEmulatedDeviceFile(deviceFolder + "/device", &a.info)) continue;
    attached->push_back(std::move(a));
  }
  closedir(dir);
  std::sort(attached->begin(), attached->end(), [](const Attached& x, const Attached& y) { return x.name < y.name; });
  return true;
}

UsbStatus EmulatedBus::ListDevices(uint16_t vendorId, uint16_t productId, std::vector<UsbDeviceRef>* devices)
{
  if (devices == nullptr) return kUsbInvalid;
  devices->clear();
  std::vector<Attached> attached;
  if (!Scan(&attached)) return kUsbRefused;
  for (const Attached& a : attached) {
    if (a.info.idVendor != vendorId || a.info.idProduct != productId) continue;
    devices->push_back(UsbDeviceRef{MakeId(a), vendorId, productId});
  }
  std::lock_guard<std::mutex> lock(listedLock_);
  listed_ = std::move(attached);
  return kUsbOk;
}

// Watches the bus folder and every device folder in it, so that a plug-in (the
// socket appearing) or a removal wakes the waiter without rescanning.
int WatchBusFolder(const std::string& folder)
{
  const int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (fd < 0) return -1;
  constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB;
  if (inotify_add_watch(fd, folder.c_str(), kEvents | IN_DELETE_SELF) < 0) {
    close(fd);
    return -1;
  }
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') inotify_add_watch(fd, (folder + "/" + entry->d_name).c_str(), kEvents);
    }
    closedir(dir);
  }
  return fd;
}

void EmulatedBus::WaitForChange(unsigned timeoutMs)
{
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<Attached> before, now;
  {
    std::lock_guard<std::mutex> lock(listedLock_);
    before = listed_;
  }
  const auto same = [](const std::vector<Attached>& x, const std::vector<Attached>& y) {
    return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                      [](const Attached& a, const Attached& b) { return a.name == b.name && a.socket == b.socket; });
  };
  // With inotify the wait costs nothing until something changes; without it
  // (or for a folder that does not exist yet) the folder is rescanned.
  int fd = WatchBusFolder(folder_);
  // A change since the last listing, before the watch began, ends the wait at once.
  Scan(&now);
  const bool changed = !same(before, now);
  for (int left = changed ? 0 : MsLeft(deadline); left > 0; left = MsLeft(deadline)) {
    const int wait = std::min<int>(left, fd >= 0 ? left : static_cast<int>(options_.rescanMs));
    if (fd >= 0) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, wait) <= 0) continue;  // no event: nothing changed, no rescan needed
      char events[4096];
      while (read(fd, events, sizeof events) > 0) {}
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    Scan(&now);
    if (!same(before, now)) break;
    if (fd >= 0) {  // a new device folder without its socket yet: watch it too
      close(fd);
      fd = WatchBusFolder(folder_);
      // Its socket may have come before the watch did: looked for once more.
      Scan(&now);
      if (!same(before, now)) break;
    }
  }
  if (fd >= 0) close(fd);
}

UsbStatus EmulatedBus::OpenDevice(const UsbDeviceRef& device, std::unique_ptr<UsbDevice>* out)
{
  if (out == nullptr) return kUsbInvalid;
  out->reset();
  std::vector<Attached> attached;
  if (!Scan(&attached)) return kUsbNoDevice;
  for (const Attached& a : attached) {
    if (MakeId(a) != device.id) continue;
    *out = std::make_unique<EmulatedDevice>(folder_ + "/" + a.name, a.socket, a.info, options_.maxTimeoutMs);
    return kUsbOk;
  }
  return kUsbNoDevice;
}

}  // namespace

std::unique_ptr<UsbBus> TQ58_OpenEmulatedBus(const std::string& folder, const EmulatedBusOptions& options)
{
  return std::make_unique<EmulatedBus>(folder, options);
}

bool TQ58_ReadEmulatedDeviceFile(const std::string& path, EmulatedDeviceFile* out)
{
  if (out == nullptr) return false;
  *out = EmulatedDeviceFile();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // Read what the file holds (it is small), never more than kMaxDeviceFile.
  std::string text;
  char chunk[1024];
  while (text.size() < kMaxDeviceFile && in.read(chunk, sizeof chunk).gcount() > 0) {
    text.append(chunk, static_cast<size_t>(in.gcount()));
  }
  if (text.size() > kMaxDeviceFile) text.resize(kMaxDeviceFile);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "idVendor") out->idVendor = ParseDecimal(value);
    else if (key == "idProduct") out->idProduct = ParseDecimal(value);
    else if (key == "configuration") out->configuration = ParseDecimal(value);
    else if (key == "interface") out->interfaceNumber = ParseDecimal(value);
    else if (key == "device_id") out->deviceId = value;
  }
  return true;
}
