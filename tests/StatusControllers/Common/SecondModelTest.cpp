// A second model of the family, made up for the test: the daemon's modules
// run for it from its profile alone, beside a printer of another model.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CacheFolder.h"
#include "DaemonTestUtil.h"
#include "EmulatedBus.h"
#include "InstallLayout.h"
#include "MarkerFiles.h"
#include "ModelProfile.h"
#include "PollingPass.h"
#include "PrintQueue.h"
#include "PrinterInfoFile.h"
#include "SecondModelProfile.h"
#include "TempRoot.h"
#include "UsbEmulated.h"

namespace {

const std::string kSerial = "XQ10-0007";

// An XQ-10 "xq" and a printer of other IDs "other" on one emulated bus; the
// process has no model profile of its own, so every name comes from the record's.
class SecondModelTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_EQ(GetModelProfile(), nullptr);
    EmulatedPrinterState xq;
    xq.vendorId = profile_.usbVendorId;
    xq.productId = profile_.usbProductId;
    xq.deviceId = "MFG:Pellori;CMD:XQ10;MDL:XQ-10;CLS:PRINTER;";
    xq.serial = kSerial;
    ASSERT_TRUE(emulator_->Plug("xq", xq));
    EmulatedPrinterState other;
    other.vendorId = 0x1A2B;
    other.productId = 12;
    other.serial = "OTHER-0001";
    ASSERT_TRUE(emulator_->Plug("other", other));
    EmulatedBusOptions options;
    options.maxTimeoutMs = 200;
    usb_ = TQ58_OpenEmulatedBus(emulator_.GetFolder(), options);
    DaemonConfig config;
    config.serialRetryMs = 20;
    config.deviceIdTimeoutMs = 200;
    config.queueStep = [this](thdata* rec) {
      queueModels_.push_back(rec->profile->queueModel);
      rec->queueRegistered = true;
    };
    SetDaemonConfig(config);
  }

  void TearDown() override
  {
    SetDaemonConfig(DaemonConfig());
    emulator_.Stop();
  }

  // What the daemon's watch reports for the profile's IDs on its first poll.
  std::vector<UsbDeviceRef> Watch()
  {
    UsbWatcher watcher(usb_.get(), profile_.usbVendorId, profile_.usbProductId);
    std::vector<UsbDeviceRef> added, removed;
    watcher.Poll(0, &added, &removed);
    return added;
  }

  std::string Path(const std::string& name) const { return root_.Path() + kXqFolder + "/" + name; }
  std::string InfoFile() const { return Path("XQ-10_" + kSerial + ".log"); }

  const ModelProfile profile_ = MakeXqNames();
  TempRoot root_;
  EmulatedBus emulator_;
  std::unique_ptr<UsbBus> usb_;
  std::vector<const QueueModel*> queueModels_;
};

TEST_F(SecondModelTest, WatchTakesOnlyPrintersWithTheProfilesIds)
{
  const std::vector<UsbDeviceRef> found = Watch();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].id.rfind("xq#", 0), 0u) << found[0].id;
}

TEST_F(SecondModelTest, PassWritesTheInformationFileUnderTheModelsNames)
{
  const std::vector<UsbDeviceRef> found = Watch();
  ASSERT_EQ(found.size(), 1u);
  thdata rec;
  rec.bus = usb_.get();
  rec.service = found[0];
  rec.profile = &profile_;
  RunPollingPass(&rec);
  EXPECT_STREQ(rec.serialNo, kSerial.c_str());
  ASSERT_EQ(queueModels_.size(), 1u);
  EXPECT_EQ(queueModels_[0], &kXqQueues);
  const std::string text = ReadText(InfoFile());
  EXPECT_EQ(InfoValue(text, "MODEL"), "XQ-10");
  EXPECT_EQ(InfoValue(text, "PRINTER_SERIAL_NO"), kSerial);
  // Nothing under the other model's names or in its folder.
  EXPECT_FALSE(std::filesystem::exists(root_.Path() + tq58_layout::kCacheFolder));
  EXPECT_EQ(emulator_->GetConnectionCount("other"), 0);

  // The model's markers are taken up; another model's of the same serial text are not.
  emulator_->Update("xq", [](EmulatedPrinterState& s) { s.totalCount = 7; });
  root_.WriteFile(Path("XQ-10_" + kSerial + "_TC_UTIL").substr(root_.Path().size() + 1), "");
  root_.WriteFile(Path("TQ-58_" + kSerial + "_TC_UTIL").substr(root_.Path().size() + 1), "");
  RunPollingPass(&rec);
  EXPECT_EQ(InfoValue(ReadText(InfoFile()), "TOTAL_COUNT"), "00000007");
  EXPECT_FALSE(std::filesystem::exists(Path("XQ-10_" + kSerial + "_TC_UTIL")));
  EXPECT_TRUE(std::filesystem::exists(Path("TQ-58_" + kSerial + "_TC_UTIL")));

  // The offline file a stopped thread leaves behind.
  WriteFile(&profile_, kSerial.c_str());
  EXPECT_EQ(InfoValue(ReadText(InfoFile()), "PRINTER_STATUS"), "99999");
}

// Names come only from a profile whose tag is a plain file-name part and whose
// folder is absolute; nothing is written or scanned for any other.
TEST_F(SecondModelTest, FilesNeedAUsableProfile)
{
  char path[256];
  EXPECT_EQ(GetInfoFilePath(nullptr, kSerial.c_str(), path, sizeof path), -1);
  EXPECT_EQ(WriteInfoFile(kSerial.c_str(), "x\n"), -1);  // no process profile set
  EXPECT_EQ(GetMarkerFlags(kSerial.c_str()), 0);
  const std::string longTag(kMaxModelTagLength + 1, 'X');
  for (const char* tag : {"", "..", "XQ/10", longTag.c_str()}) {
    ModelProfile bad = profile_;
    bad.modelTag = tag;
    EXPECT_EQ(GetInfoFilePath(&bad, kSerial.c_str(), path, sizeof path), -1) << tag;
    EXPECT_EQ(WriteInfoFile(&bad, kSerial.c_str(), "x\n"), -1) << tag;
  }
  ModelProfile relative = profile_;
  relative.cacheFolder = "var/cache/XQ-10";
  EXPECT_EQ(WriteInfoFile(&relative, kSerial.c_str(), "x\n"), -1);
  EXPECT_FALSE(std::filesystem::exists(root_.Path() + kXqFolder));
  const std::string maxTag(kMaxModelTagLength, 'X');
  ModelProfile longest = profile_;
  longest.modelTag = maxTag.c_str();
  EXPECT_EQ(WriteInfoFile(&longest, kSerial.c_str(), "x\n"), 0);
  ASSERT_EQ(GetInfoFilePath(&profile_, kSerial.c_str(), path, sizeof path), 0);
  EXPECT_EQ(path, InfoFile());
}

TEST_F(SecondModelTest, CacheFolderIsMadeOnlyRightBelowTheMakersFolder)
{
  namespace fs = std::filesystem;
  CheckAndMake_CacheFolder(kXqFolder.c_str());
  EXPECT_TRUE(fs::is_directory(root_.Path() + kXqFolder));
  const std::string maker = tq58_layout::kMakerCacheFolder;
  const std::string parent = root_.Path() + fs::path(maker).parent_path().string();
  const fs::perms before = fs::status(parent).permissions();
  for (const std::string& bad : {maker + "/..", maker + "/", maker + "/a/b", std::string("/tmp/XQ-10")}) {
    CheckAndMake_CacheFolder(bad.c_str());
  }
  CheckAndMake_CacheFolder(nullptr);
  EXPECT_FALSE(fs::exists(root_.Path() + maker + "/a"));
  EXPECT_FALSE(fs::exists(root_.Path() + "/tmp"));
  EXPECT_EQ(fs::status(parent).permissions(), before);  // ".." did not reach the maker's parent
}

}  // namespace
