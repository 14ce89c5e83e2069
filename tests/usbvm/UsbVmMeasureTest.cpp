// Figures of the kernel USB stack for the notes, taken only when asked
// (TQ58_USBVM_MEASURE=1): the bulk throughput of one print, and the idle
// daemon's processor time per minute. They check nothing about speed.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "PhotoPrinterIF.h"
#include "UsbVmFixture.h"

namespace {

bool IsMeasuring()
{
  const char* measure = std::getenv("TQ58_USBVM_MEASURE");
  return measure != nullptr && std::string(measure) == "1";
}

// User plus system time of process pid so far, in milliseconds; -1 when unknown.
long GetCpuMs(pid_t pid)
{
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

TEST_F(UsbVmTest, MeasureBulkThroughputOfOnePrint)
{
  if (!IsMeasuring()) GTEST_SKIP() << "set TQ58_USBVM_MEASURE=1 to take the figures";
  const std::string stream = GetFilterStream();
  ASSERT_FALSE(stream.empty());
  Plug("p1", "VMBW01");
  HeldPrinter held;
  ASSERT_TRUE(OpenWithLibusb("VMBW01", &held));
  constexpr size_t kChunk = 65536;  // the backend's write size
  const auto start = std::chrono::steady_clock::now();
  for (size_t at = 0; at < stream.size(); at += kChunk) {
    const int size = static_cast<int>(std::min(kChunk, stream.size() - at));
    int written = 0;
    ASSERT_EQ(held.intf->BulkWrite(reinterpret_cast<const unsigned char*>(stream.data() + at), size, 10000, &written),
              kUsbOk);
    ASSERT_EQ(written, size);
  }
  // The status answer comes once the printer has taken every packet before it.
  EXPECT_EQ(GetStatus(held.intf.get()), 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
  std::printf("usbvm figure: one 4x6 print, %zu bytes, %.0f ms, %.2f MB/s through the kernel stack\n", stream.size(),
              seconds * 1000, stream.size() / seconds / 1e6);
}

TEST_F(UsbVmTest, MeasureIdleDaemonCpuPerMinute)
{
  if (!IsMeasuring()) GTEST_SKIP() << "set TQ58_USBVM_MEASURE=1 to take the figures";
  const char* secondsText = std::getenv("TQ58_USBVM_IDLE_SECONDS");
  const int seconds = secondsText != nullptr ? std::atoi(secondsText) : 60;
  Plug("p1", "VMCP01");
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("VMCP01", "PRINTER_SERIAL_NO", "VMCP01", 30000)) << GetDaemonOutput();
  // Idle: the queue is there, no marker asks for data.
  const size_t commands = emulator_->GetCommandLog("p1").size();
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(emulator_->GetCommandLog("p1").size(), commands) << "the daemon is not idle";
  const long before = GetCpuMs(daemon_.GetPid());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const long after = GetCpuMs(daemon_.GetPid());
  ASSERT_GE(before, 0);
  std::printf("usbvm figure: idle daemon, %ld ms of processor time in %d s (%.1f ms per minute)\n", after - before,
              seconds, (after - before) * 60.0 / seconds);
}

}  // namespace
