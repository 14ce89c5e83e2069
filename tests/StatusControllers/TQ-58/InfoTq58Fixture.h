// The real infotq58 against emulated printers on an emulated bus and a
// private cupsd: the PPD in the scheduler's own model folder under its model
// name (and nowhere below the temporary root), a stand-in "fyxbackend" in the
// scheduler's ServerBin (it accepts a device URI only for a backend it has),
// the daemon's home and working folder of its own.
#ifndef TQ58_TEST_INFOTQ58FIXTURE_H
#define TQ58_TEST_INFOTQ58FIXTURE_H

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Common.h"
#include "CupsdFixture.h"
#include "DaemonProcess.h"
#include "DaemonTestUtil.h"
#include "EmulatedBus.h"
#include "FixedPath.h"
#include "ModelTQ58.h"
#include "Process.h"
#include "TempRoot.h"

inline const std::string kTestUri = "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=";
inline const std::string kBaseQueue = "PELLORI_SYSTEMS_TQ_58";

class InfoTq58Test : public ::testing::Test {
protected:
  void SetUp() override
  {
    const ProcessResult ppd = RunProcess({"gzip", "-c", "-n", TQ58_SOURCE_DIR "/packaging/ppd/TQ-58.ppd"});
    ASSERT_EQ(ppd.exitCode, 0);
    cupsd_.AddModel(kQueueModelTQ58.ppdModel, root_.WriteFile("model.ppd.gz", ppd.out));
    std::string error;
    ASSERT_TRUE(cupsd_.Start(&error)) << error;
    ASSERT_TRUE(cupsd_.AddBackend("fyxbackend", "#!/bin/sh\nexit 0\n"));
    home_ = root_.Path() + "/home";
    std::filesystem::create_directories(home_);
  }

  void TearDown() override
  {
    if (daemon_.Pid() > 0) {
      EXPECT_EQ(daemon_.Stop(SIGTERM), 0);
    }
    emulator_.Stop();
    cupsd_.Stop();
  }

  void StartDaemon()
  {
    ASSERT_TRUE(
        daemon_.Start(TQ58_INFOTQ58_PATH,
                      {"TQ58_ROOT=" + root_.Path(), "TQ58_EMULATED_USB=" + bus_, "CUPS_SERVER=" + cupsd_.SocketPath(),
                       "CUPS_SERVERROOT=" + cupsd_.Root() + "/conf", "HOME=" + home_},
                      home_, root_.Path() + "/daemon.out"));
  }
  void Plug(const std::string& name, const std::string& serial, int status = 0)
  {
    EmulatedPrinterState state;
    state.serial = serial;
    state.status = status;
    ASSERT_TRUE(emulator_->Plug(name, state));
  }
  std::string InfoFile(const std::string& serialText) const
  {
    return root_.CacheFolder(false) + "/TQ-58_" + serialText + ".log";
  }
  std::string Info(const std::string& serialText, const std::string& key) const
  {
    return InfoValue(ReadText(InfoFile(serialText)), key);
  }
  std::string Marker(const std::string& serialText, const std::string& suffix) const
  {
    return root_.CacheFolder(false) + "/TQ-58_" + serialText + suffix;
  }
  void Touch(const std::string& serialText, const std::string& suffix) const
  {
    std::ofstream(Marker(serialText, suffix)).flush();
  }
  static std::string QueueUri(const std::string& queue)
  {
    char uri[1024] = {};
    return _GetCupsDeviceURI(queue.c_str(), uri, sizeof uri) == 0 ? std::string(uri) : std::string();
  }
  bool WaitForQueue(const std::string& queue, const std::string& uri, int ms) const
  {
    return WaitUntil([&] { return QueueUri(queue) == uri; }, ms);
  }
  bool WaitForInfo(const std::string& serialText, const std::string& key, const std::string& value, int ms) const
  {
    return WaitUntil([&] { return Info(serialText, key) == value; }, ms);
  }
  void AddQueue(const std::string& name, const std::string& uri)
  {
    ASSERT_EQ(cupsd_.Run({"lpadmin", "-p", name, "-E", "-v", uri}).exitCode, 0);
  }
  std::string DaemonOutput() const { return ReadText(root_.Path() + "/daemon.out"); }

  TempRoot root_;
  PrivateCupsd cupsd_;
  std::string home_;
  EmulatedBus emulator_;
  const std::string bus_ = emulator_.GetFolder();
  DaemonProcess daemon_;
};

#endif
