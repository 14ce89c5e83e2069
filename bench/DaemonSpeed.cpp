// Speed of the real infotq58 against emulated printers and a private cupsd:
//   bench_daemon idle [seconds]   CPU time of the idle daemon with two printers, no markers
//   bench_daemon marker [count]   time from creating "_TC_UTIL" to the rewritten file
//   bench_daemon eight [seconds]  eight printers with "_UTIL": the oldest any file gets
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CupsdFixture.h"
#include "DaemonProcess.h"
#include "DaemonTestUtil.h"
#include "Emulator.h"
#include "FixedPath.h"
#include "ModelTQ58.h"
#include "Process.h"
#include "TempRoot.h"

namespace {

using Clock = std::chrono::steady_clock;

double NowSeconds()
{
  timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double ModifiedSeconds(const std::string& path)
{
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9;
}

// CPU time of the threads of pid in seconds (from each task's schedstat, in
// ns): the main thread's, or all the others' when main is false.
double CpuSeconds(pid_t pid, bool main)
{
  double total = 0;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& entry : std::filesystem::directory_iterator(tasks)) {
    if ((entry.path().filename() == std::to_string(pid)) != main) continue;
    std::ifstream in(entry.path() / "schedstat");
    unsigned long long ns = 0;
    if (in >> ns) total += ns / 1e9;
  }
  return total;
}

// A temporary root with the PPD, a private cupsd with a stand-in backend, a bus.
struct Setup {
  TempRoot root;
  PrivateCupsd cupsd;
  std::string bus;
  std::unique_ptr<Emulator> emulator;
  DaemonProcess daemon;

  bool Start()
  {
    const ProcessResult ppd = RunProcess({"gzip", "-c", "-n", TQ58_SOURCE_DIR "/packaging/ppd/TQ-58.ppd"});
    cupsd.AddModel(kQueueModelTQ58.ppdModel, root.WriteFile("model.ppd.gz", ppd.out));
    std::string error;
    if (!cupsd.Start(&error)) {
      std::fprintf(stderr, "cupsd: %s\n", error.c_str());
      return false;
    }
    if (!cupsd.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n")) return false;
    bus = root.Path() + "/bus";
    emulator = std::make_unique<Emulator>(bus);
    return true;
  }
  bool Plug(int count)
  {
    for (int i = 1; i <= count; ++i) {
      EmulatedPrinterState state;
      state.serial = "BENCH" + std::to_string(i);
      if (!emulator->Plug("p" + std::to_string(i), state)) return false;
    }
    return true;
  }
  bool StartDaemon()
  {
    return daemon.Start(TQ58_INFOTQ58_PATH,
                        {"TQ58_ROOT=" + root.Path(), "TQ58_EMULATED_USB=" + bus, "CUPS_SERVER=" + cupsd.SocketPath(),
                         "CUPS_SERVERROOT=" + cupsd.Root() + "/conf"},
                        root.Path(), root.Path() + "/daemon.out");
  }
  std::string File(int i) const { return root.CacheFolder(false) + "/TQ-58_BENCH" + std::to_string(i) + ".log"; }
  std::string Marker(int i, const char* suffix) const
  {
    return root.CacheFolder(false) + "/TQ-58_BENCH" + std::to_string(i) + suffix;
  }
  // Every printer has its queue and its file.
  bool WaitRegistered(int count)
  {
    return WaitUntil(
        [&] {
          const ProcessResult r = cupsd.Run({"lpstat", "-v"});
          for (int i = 1; i <= count; ++i) {
            if (r.out.find("serial=BENCH" + std::to_string(i) + "\n") == std::string::npos) return false;
            if (InfoValue(ReadText(File(i)), "MODEL") != "TQ-58") return false;
          }
          return true;
        },
        20000);
  }
};

int Idle(Setup& s, int seconds)
{
  if (!s.Plug(2) || !s.StartDaemon() || !s.WaitRegistered(2)) return 1;
  std::this_thread::sleep_for(std::chrono::seconds(2));
  for (int i = 1; i <= 2; ++i) s.emulator->ClearCommandLog("p" + std::to_string(i));
  const double mainBefore = CpuSeconds(s.daemon.Pid(), true), threadsBefore = CpuSeconds(s.daemon.Pid(), false);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double mainUsed = CpuSeconds(s.daemon.Pid(), true) - mainBefore;
  const double threadsUsed = CpuSeconds(s.daemon.Pid(), false) - threadsBefore;
  const double used = mainUsed + threadsUsed;
  size_t commands = 0;
  for (int i = 1; i <= 2; ++i) commands += s.emulator->GetCommandLog("p" + std::to_string(i)).size();
  std::printf("idle, 2 printers, %d s: CPU %.4f s = %.4f %% of one core (main thread, bus watch: %.4f s; device "
              "threads: %.4f s); printer commands: %zu\n",
              seconds, used, 100.0 * used / seconds, mainUsed, threadsUsed, commands);
  return 0;
}

int Marker(Setup& s, int count)
{
  if (!s.Plug(1) || !s.StartDaemon() || !s.WaitRegistered(1)) return 1;
  std::vector<double> latency;
  for (int n = 0; n < count; ++n) {
    // Spread the marker over the phase of the one-second pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100 + 137 * n % 1000));
    const double before = ModifiedSeconds(s.File(1));
    const double start = NowSeconds();
    std::ofstream(s.Marker(1, "_TC_UTIL")).flush();
    const bool ok = WaitUntil([&] { return ModifiedSeconds(s.File(1)) > before && !InfoValue(ReadText(s.File(1)), "TOTAL_COUNT").empty(); }, 5000);
    if (!ok) return 1;
    latency.push_back(ModifiedSeconds(s.File(1)) - start);
  }
  std::sort(latency.begin(), latency.end());
  std::printf("_TC_UTIL to rewritten file, %d runs: median %.3f s, worst %.3f s, best %.3f s\n", count,
              latency[latency.size() / 2], latency.back(), latency.front());
  return 0;
}

int Eight(Setup& s, int seconds)
{
  constexpr int kPrinters = 8;
  if (!s.Plug(kPrinters) || !s.StartDaemon() || !s.WaitRegistered(kPrinters)) return 1;
  for (int i = 1; i <= kPrinters; ++i) std::ofstream(s.Marker(i, "_UTIL")).flush();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::vector<double> oldest(kPrinters + 1, 0);
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (Clock::now() < end) {
    const double now = NowSeconds();
    for (int i = 1; i <= kPrinters; ++i) oldest[i] = std::max(oldest[i], now - ModifiedSeconds(s.File(i)));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  double worst = 0;
  for (int i = 1; i <= kPrinters; ++i) {
    std::printf("printer %d: oldest file age %.3f s\n", i, oldest[i]);
    worst = std::max(worst, oldest[i]);
  }
  std::printf("eight printers with _UTIL, %d s: worst file age %.3f s\n", seconds, worst);
  return 0;
}

}  // namespace

int main(int argc, char** argv)
{
  const std::string mode = argc > 1 ? argv[1] : "";
  const int n = argc > 2 ? std::atoi(argv[2]) : 0;
  Setup s;
  if (mode != "idle" && mode != "marker" && mode != "eight") {
    std::fprintf(stderr, "usage: bench_daemon idle [seconds] | marker [count] | eight [seconds]\n");
    return 2;
  }
  if (!s.Start()) return 1;
  int rc = 1;
  if (mode == "idle") rc = Idle(s, n > 0 ? n : 60);
  if (mode == "marker") rc = Marker(s, n > 0 ? n : 20);
  if (mode == "eight") rc = Eight(s, n > 0 ? n : 10);
  if (rc != 0) std::fprintf(stderr, "failed; daemon output:\n%s\n", ReadText(s.root.Path() + "/daemon.out").c_str());
  s.daemon.Stop(SIGTERM);
  return rc;
}
