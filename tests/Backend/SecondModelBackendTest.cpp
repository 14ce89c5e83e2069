// A second model of the family, made up for the test: the backend and the
// status window's files take every name from the process's model profile.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "DeviceListing.h"
#include "EmulatedBus.h"
#include "InstallLayout.h"
#include "JobInfoFile.h"
#include "ModelProfile.h"
#include "SecondModelProfile.h"
#include "StatusMarkers.h"
#include "TempRoot.h"
#include "UsbEmulated.h"

namespace {

class SecondModelBackendTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    profile_ = MakeXqNames();
    SetModelProfile(&profile_);
    EmulatedPrinterState xq;
    xq.vendorId = profile_.usbVendorId;
    xq.productId = profile_.usbProductId;
    xq.serial = "XQ10-0007";
    ASSERT_TRUE(emulator_->Plug("xq", xq));
    EmulatedPrinterState tq;  // the emulator's own IDs: another model's
    tq.serial = "TQ58-0001";
    ASSERT_TRUE(emulator_->Plug("tq", tq));
    EmulatedBusOptions options;
    options.maxTimeoutMs = 200;
    usb_ = TQ58_OpenEmulatedBus(emulator_.GetFolder(), options);
  }

  void TearDown() override
  {
    SetModelProfile(nullptr);
    emulator_.Stop();
  }

  ModelProfile profile_;
  TempRoot root_;
  EmulatedBus emulator_;
  std::unique_ptr<UsbBus> usb_;
};

TEST_F(SecondModelBackendTest, OnlyTheModelsPrintersAreListedUnderItsUri)
{
  const std::vector<ListedPrinter> printers = ListPrinters(usb_.get(), BackendConfig());
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].deviceUri, "fyxbackend://PELLORI%20SYSTEMS/XQ-10?serial=XQ10-0007");
}

TEST_F(SecondModelBackendTest, TheJobFileAndTheWindowsFilesAreInTheModelsFolder)
{
  ASSERT_EQ(WriteJobInfoFile("5", "0002"), 0);
  const std::string folder = root_.Path() + kXqFolder;
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/Print_5.log"));
  EXPECT_FALSE(std::filesystem::exists(root_.Path() + tq58_layout::kCacheFolder + "/Print_5.log"));
  RemoveJobInfoFile("5");
  EXPECT_FALSE(std::filesystem::exists(folder + "/Print_5.log"));

  EXPECT_EQ(GetInfoFilePath("XQ10-0007"), folder + "/XQ-10_XQ10-0007.log");
  ASSERT_TRUE(CreateMarker("XQ10-0007", StatusMarker::kStartUtil));
  EXPECT_TRUE(std::filesystem::exists(folder + "/XQ-10_XQ10-0007_START_UTIL"));
}

TEST_F(SecondModelBackendTest, WithoutAProfileTheWindowMakesNoMarker)
{
  SetModelProfile(nullptr);
  EXPECT_NE(GetSerialTextProblem("XQ10-0007"), nullptr);
  EXPECT_FALSE(CreateMarker("XQ10-0007", StatusMarker::kUtil));
  EXPECT_TRUE(ListPrinters(usb_.get(), BackendConfig()).empty());
}

}  // namespace
