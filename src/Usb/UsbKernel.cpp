#include "UsbKernel.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kKernelGroup = 1;        // the kernel's own uevents (udev re-sends on group 2)
constexpr size_t kMessageSize = 8192;       // a uevent is at most 2048 bytes of fields plus its header
constexpr int kReceiveBuffer = 256 * 1024;  // room for a burst of events (a hub with many devices)

bool IsDigits(const std::string& text, size_t maxSize)
{
  return !text.empty() && text.size() <= maxSize &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

unsigned ParseDecimal(const std::string& text)
{
  return IsDigits(text, 9) ? static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10)) : 0;
}

// Four hex digits at most, as sysfs writes idVendor and idProduct; -1 otherwise.
long ParseHex16(const std::string& text)
{
  const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  if (text.empty() || text.size() > 4 || !std::all_of(text.begin(), text.end(), isHex)) return -1;
  return std::strtol(text.c_str(), nullptr, 16);
}

// A device's sysfs name: the bus number, '-', and a port path of numbers and dots.
bool IsDeviceName(const std::string& name)
{
  const size_t dash = name.find('-');
  if (dash == std::string::npos || !IsDigits(name.substr(0, dash), 3)) return false;
  const std::string ports = name.substr(dash + 1);
  if (ports.empty() || ports.front() == '.' || ports.back() == '.' || ports.find("..") != std::string::npos)
    return false;
  return std::all_of(ports.begin(), ports.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// One sysfs attribute's first line, or empty.
std::string ReadAttribute(const std::string& path)
{
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::string();
  char text[64];
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return std::string();
  std::string value(text, static_cast<size_t>(n));
  return value.substr(0, value.find('\n'));
}

bool ReadDevice(const std::string& folder, const std::string& name, KernelUsbDevice* device)
{
  const std::string base = folder + "/" + name + "/";
  const long vendor = ParseHex16(ReadAttribute(base + "idVendor"));
  const long product = ParseHex16(ReadAttribute(base + "idProduct"));
  device->name = name;
  device->busNumber = ParseDecimal(ReadAttribute(base + "busnum"));
  device->deviceNumber = ParseDecimal(ReadAttribute(base + "devnum"));
  device->vendorId = static_cast<uint16_t>(vendor);
  device->productId = static_cast<uint16_t>(product);
  return vendor >= 0 && product >= 0 && device->busNumber > 0 && device->deviceNumber > 0;
}

// Splits the fields of a message (after its header) into the ones a USB device's notice needs.
struct UeventFields {
  std::string action, subsystem, devType, devPath, busNumber, deviceNumber;
};

void ReadFields(const char* data, size_t size, size_t at, UeventFields* fields)
{
  while (at < size) {
    const char* end = static_cast<const char*>(std::memchr(data + at, '\0', size - at));
    if (end == nullptr) return;  // a field the message cut off counts for nothing
    const std::string field(data + at, static_cast<size_t>(end - (data + at)));
    at = static_cast<size_t>(end - data) + 1;
    const size_t eq = field.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
    if (key == "ACTION") fields->action = value;
    else if (key == "SUBSYSTEM") fields->subsystem = value;
    else if (key == "DEVTYPE") fields->devType = value;
    else if (key == "DEVPATH") fields->devPath = value;
    else if (key == "BUSNUM") fields->busNumber = value;
    else if (key == "DEVNUM") fields->deviceNumber = value;
  }
}

// True when the message came from the kernel: netlink port 0 on the kernel's
// group, with root's credentials.
bool IsFromKernel(const msghdr& msg, const sockaddr_nl& from)
{
  if (msg.msg_namelen != sizeof from || from.nl_family != AF_NETLINK || from.nl_pid != 0 ||
      from.nl_groups != kKernelGroup) {
    return false;
  }
  auto* m = const_cast<msghdr*>(&msg);
  for (cmsghdr* c = CMSG_FIRSTHDR(m); c != nullptr; c = CMSG_NXTHDR(m, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS) {
      ucred cred;
      std::memcpy(&cred, CMSG_DATA(c), sizeof cred);
      return cred.uid == 0;
    }
  }
  return false;
}

}  // namespace

std::string KernelUsbDevice::GetId() const
{
  const size_t dash = name.find('-');
  const std::string ports = dash == std::string::npos ? std::string() : name.substr(dash + 1);
  char text[64];
  std::snprintf(text, sizeof text, "%03u-%.40s@%03u", busNumber, ports.c_str(), deviceNumber);
  return text;
}

bool TQ58_ListKernelUsbDevices(const std::string& sysfsRoot, std::vector<KernelUsbDevice>* devices)
{
  if (devices == nullptr) return false;
  devices->clear();
  const std::string folder = sysfsRoot + "/bus/usb/devices";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  while (const dirent* entry = readdir(dir)) {
    KernelUsbDevice device;
    if (IsDeviceName(entry->d_name) && ReadDevice(folder, entry->d_name, &device)) devices->push_back(device);
  }
  closedir(dir);
  std::sort(devices->begin(), devices->end(),
            [](const KernelUsbDevice& a, const KernelUsbDevice& b) { return a.name < b.name; });
  return true;
}

bool TQ58_ParseUsbUevent(const char* data, size_t size, UsbUevent* event)
{
  if (data == nullptr || event == nullptr) return false;
  // The header "ACTION@DEVPATH" (udev's own messages begin otherwise).
  const char* headerEnd = static_cast<const char*>(std::memchr(data, '\0', size));
  if (headerEnd == nullptr || std::memchr(data, '@', static_cast<size_t>(headerEnd - data)) == nullptr) return false;
  UeventFields fields;
  ReadFields(data, size, static_cast<size_t>(headerEnd - data) + 1, &fields);
  if (fields.subsystem != "usb" || fields.devType != "usb_device") return false;
  if (fields.action != "add" && fields.action != "remove") return false;
  *event = UsbUevent();
  event->added = fields.action == "add";
  event->devPath = fields.devPath;
  event->busNumber = ParseDecimal(fields.busNumber);
  event->deviceNumber = ParseDecimal(fields.deviceNumber);
  return true;
}

int TQ58_OpenUeventSocket()
{
  const int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  sockaddr_nl address{};
  address.nl_family = AF_NETLINK;
  address.nl_groups = kKernelGroup;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool TQ58_DrainUsbUevents(int fd, bool kernelOnly)
{
  bool changed = false;
  char data[kMessageSize];
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))];
  for (;;) {
    sockaddr_nl from{};
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd, &msg, MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EINTR) continue;
      // Lost messages: what changed is unknown, so the bus is listed again.
      if (errno == ENOBUFS) {
        changed = true;
        continue;
      }
      return changed;  // EAGAIN: nothing more waiting
    }
    if (n == 0) return changed;
    if (kernelOnly && !IsFromKernel(msg, from)) continue;
    UsbUevent event;
    if ((msg.msg_flags & MSG_TRUNC) != 0 || TQ58_ParseUsbUevent(data, static_cast<size_t>(n), &event)) changed = true;
  }
}
