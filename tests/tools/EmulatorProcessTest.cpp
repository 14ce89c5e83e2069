#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "PhotoPrinterIF.h"
#include "Process.h"
#include "TempDir.h"
#include "UsbEmulated.h"
#include "UsbIdsTQ58.h"

extern char** environ;

namespace {

// The emulator program with pipes on its standard input and output.
class EmulatorProcess {
public:
  explicit EmulatorProcess(const std::vector<std::string>& args)
  {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(TQ58_EMULATOR_PATH));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TQ58_EMULATOR_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~EmulatorProcess()
  {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Write(const std::string& line) { (void)!write(in_, line.data(), line.size()); }
  // The next line of output, or "(timeout)" after a few seconds.
  std::string ReadLine()
  {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      const size_t eol = buffer_.find('\n');
      if (eol != std::string::npos) {
        const std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 1);
        return line;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      char chunk[256];
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "(timeout)";
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return "(end)";
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }
  int Wait()
  {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string buffer_;
};

TEST(EmulatorProgramTest, HelpDescribesTheRepliesAndCommands)
{
  const ProcessResult r = RunProcess({TQ58_EMULATOR_PATH, "--help"});
  EXPECT_EQ(r.exitCode, 0);
  for (const char* word : {"--bus", "MEDIA", "MQTY", "COUNTER_LIFE", "fault", "unplug", "drops"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(RunProcess({TQ58_EMULATOR_PATH, "--printer"}).exitCode, 2);
}

TEST(EmulatorProgramTest, RunsPrintersAndTakesCommands)
{
  const TempDir folder("tq58-bus");
  const std::string& bus = folder.GetPath();
  {
    EmulatorProcess emulator({"--bus", bus, "--printer", "p1", "--set", "serial=AB 12"});
    ASSERT_EQ(emulator.ReadLine(), "ready");
    auto usb = TQ58_OpenEmulatedBus(bus);
    std::vector<UsbDeviceRef> devices;
    usb->ListDevices(kTQ58UsbVendorId, kTQ58UsbProductId, &devices);
    ASSERT_EQ(devices.size(), 1u);
    std::unique_ptr<UsbDevice> device;
    std::unique_ptr<UsbInterface> intf;
    ASSERT_EQ(usb->OpenDevice(devices[0], &device), kUsbOk);
    ASSERT_EQ(device->OpenInterface(0, &intf), kUsbOk);
    char serial[64];
    EXPECT_EQ(GetSerialNo(intf.get(), serial, sizeof serial), 7);
    emulator.Write("set p1 status=2610\n");
    EXPECT_EQ(emulator.ReadLine(), "ok");
    EXPECT_EQ(GetStatus(intf.get()), 2610);
    emulator.Write("quit\n");
    EXPECT_EQ(emulator.ReadLine(), "ok");
    EXPECT_EQ(emulator.Wait(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(bus + "/p1"));
}

}  // namespace
