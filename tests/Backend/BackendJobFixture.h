// A backend job against the printer emulator: a temporary root and emulated
// bus with printer "p1" (serial "AB 12", serial text AB%2012), waits cut
// short, the job's input fed through a pipe by a thread of its own, and the
// backend's messages collected.
#ifndef TQ58_TEST_BACKENDJOBFIXTURE_H
#define TQ58_TEST_BACKENDJOBFIXTURE_H

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "BackendJob.h"
#include "BackendTestUtil.h"
#include "EmulatedBus.h"
#include "ModelTQ58.h"
#include "TempRoot.h"
#include "UsbEmulated.h"

inline const std::string kSerialText = "AB%2012";

// Writes first to a pipe, then (once Open() was called) second, then closes it.
class PipeFeeder {
public:
  explicit PipeFeeder(std::string first, std::string second = std::string())
  {
    if (pipe(fds_) != 0) fds_[0] = fds_[1] = -1;
    thread_ = std::thread([this, first = std::move(first), second = std::move(second)] {
      WriteAll(first);
      if (!second.empty()) gate_.get_future().wait();
      WriteAll(second);
      close(fds_[1]);
    });
  }
  ~PipeFeeder()
  {
    Open();
    close(fds_[0]);  // a writer still blocked gets EPIPE
    thread_.join();
  }
  int ReadFd() const { return fds_[0]; }
  void Open()
  {
    if (!opened_) gate_.set_value();
    opened_ = true;
  }

private:
  void WriteAll(const std::string& data)
  {
    for (size_t at = 0; at < data.size();) {
      const ssize_t n = write(fds_[1], data.data() + at, data.size() - at);
      if (n <= 0) return;
      at += static_cast<size_t>(n);
    }
  }
  int fds_[2];
  std::promise<void> gate_;
  bool opened_ = false;
  std::thread thread_;
};

class BackendJobTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    signal(SIGPIPE, SIG_IGN);
    ASSERT_TRUE(Plug());
    EmulatedBusOptions options;
    options.maxTimeoutMs = 500;
    options.rescanMs = 20;
    bus_ = TQ58_OpenEmulatedBus(busFolder_, options);
    config_.claimWaitMs = 300;
    config_.claimRetryMs = 10;
    config_.busPollMs = 100;
    config_.statusPollMs = 50;
    config_.writeTimeoutMs = 1000;
  }
  void TearDown() override { emulator_.Stop(); }

  bool Plug(int mediaClass = 1)
  {
    EmulatedPrinterState state;
    state.serial = "AB 12";
    state.mediaClass = mediaClass;
    return emulator_->Plug("p1", state);
  }
  BackendJob Job(const std::string& id, int fd, const std::string& serialText = kSerialText) const
  {
    BackendJob job;
    job.jobId = id;
    job.deviceUri = std::string(kQueueModelTQ58.uriPrefix) + serialText;
    job.inputFd = fd;
    return job;
  }
  int Run(const BackendJob& job) { return RunBackendJob(bus_.get(), job, config_, &cancel_, lines_.Log()); }
  std::string JobFile(const std::string& id) const { return root_.CacheFolder(false) + "/Print_" + id + ".log"; }

  TempRoot root_;
  EmulatedBus emulator_;
  const std::string busFolder_ = emulator_.GetFolder();
  std::unique_ptr<UsbBus> bus_;
  BackendConfig config_;
  volatile sig_atomic_t cancel_ = 0;
  LineCollector lines_;
};

#endif
