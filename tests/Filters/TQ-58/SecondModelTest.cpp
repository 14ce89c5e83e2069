// A second model of the family, made up for the test: a print job takes its
// device entry from the model's profile and chooses the media from the
// model's own table.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "Common.h"
#include "ModelProfile.h"
#include "PrintJob.h"
#include "SecondModelProfile.h"
#include "TempRoot.h"

namespace {

DeviceMediaBufferInfo XqMediaRow()
{
  DeviceMediaBufferInfo row;
  row.mediaCode = 71;
  row.multiCutCode = 5;
  row.widthInch = 3.5;
  row.lengthInch = 5.0;
  row.baseDpi = 300;
  row.printWidth = 1100;
  row.printHeight = 1536;
  row.borderX = 24;
  row.borderY = 36;
  row.imageWidth = 1100;
  row.imageHeight = 1536;
  row.imagesPerSheet = 1;
  row.minFirmware = 1.0;
  return row;
}

const DeviceMediaBufferInfo kXqMedia[] = {XqMediaRow()};
int gEntriesMade = 0;

// The XQ-10's device entry: one media row ("89x127mm"), from the profile's table.
class DeviceEntryXq : public DeviceEntry {
public:
  explicit DeviceEntryXq(const ModelProfile& profile) : profile_(profile) {}
  int GetHeadWidth() override { return 1152; }
  int SetMediaSize(int num_options, cups_option_t* options, ppdfile_s* ppd) override
  {
    const char* size = _GetCupsValue("PageSize", num_options, options, ppd);
    const int code = size != nullptr && std::strcmp(size, "89x127mm") == 0 ? 71 : 33;
    return SetMediaInfo(mediaInfo, code, 1.0) == 0 ? 1 : 0;
  }
  int SetMediaInfo(DeviceMediaBufferInfo& info, int mediaCode, double firmwareVersion) override
  {
    return SetMediaInfoFromTable(info, mediaCode, firmwareVersion, profile_.mediaTable, profile_.mediaCount);
  }
  DeviceMediaBufferInfo GetMultiMediaInfo(DeviceMediaBufferInfo* info, int) override { return *info; }
  int GetMultiLayoutNum(const char*) override { return 1; }
  int SetOvercoatFinish(int, double) override { return 3; }
  std::string GetPrinterICCProfile(const char*) override { return std::string(); }
  bool isSupportDecurl() override { return false; }
  bool isSupportSysTime() override { return false; }

private:
  const ModelProfile& profile_;
};

ModelProfile MakeXqProfile();
const ModelProfile& XqProfile()
{
  static const ModelProfile profile = MakeXqProfile();
  return profile;
}

ModelProfile MakeXqProfile()
{
  ModelProfile p = MakeXqNames();
  p.mediaTable = kXqMedia;
  p.mediaCount = 1;
  p.createDeviceEntry = [] {
    ++gEntriesMade;
    return static_cast<DeviceEntry*>(new DeviceEntryXq(XqProfile()));
  };
  return p;
}

size_t Discard(void*, const void*, size_t length)
{
  return length;
}

class SecondModelJob : public ::testing::Test {
protected:
  void SetUp() override { unsetenv("PPD"); }
  void TearDown() override { cupsFreeOptions(numOptions_, options_); }

  // Runs a job's settings (Start) for pageSize with the XQ-10's profile and
  // returns the media its entry chose.
  DeviceMediaBufferInfo MediaFor(const char* pageSize, const ModelProfile* profile)
  {
    numOptions_ = cupsAddOption("PageSize", pageSize, numOptions_, &options_);
    PrintJobSetup setup;
    setup.jobId = "3";
    setup.numOptions = numOptions_;
    setup.options = options_;
    setup.sink = Discard;
    setup.clock = [] { return std::time_t{0}; };
    setup.profile = profile;
    PrintJob job(setup);
    job.Start();
    EXPECT_EQ(job.GetEntry().GetHeadWidth(), 1152);
    return job.GetEntry().mediaInfo;
  }

  TempRoot root_;
  int numOptions_ = 0;
  cups_option_t* options_ = nullptr;
};

TEST_F(SecondModelJob, TheProfilesEntryChoosesItsOneMediaRow)
{
  gEntriesMade = 0;
  const DeviceMediaBufferInfo media = MediaFor("89x127mm", &XqProfile());
  EXPECT_EQ(gEntriesMade, 1);
  EXPECT_EQ(media.mediaCode, 71);
  EXPECT_EQ(media.multiCutCode, 5);
  EXPECT_EQ(media.printWidth, 1100);
  EXPECT_EQ(media.headWidth, 1152);  // the dot fields are computed for the model's head
  EXPECT_GT(media.printWidthDots, 0);
}

TEST_F(SecondModelJob, APageSizeOutsideTheModelsTableChoosesNoMedia)
{
  // 102x102mm is another model's size: the XQ-10 has no row for it.
  EXPECT_EQ(MediaFor("102x102mm", &XqProfile()).mediaCode, -1);
}

TEST_F(SecondModelJob, TheProcesssProfileIsTakenWhenTheJobNamesNone)
{
  gEntriesMade = 0;
  SetModelProfile(&XqProfile());
  const DeviceMediaBufferInfo media = MediaFor("89x127mm", nullptr);
  SetModelProfile(nullptr);
  EXPECT_EQ(gEntriesMade, 1);
  EXPECT_EQ(media.mediaCode, 71);
}

TEST_F(SecondModelJob, AFactoryThatMakesNoEntryFailsTheJob)
{
  ModelProfile broken = XqProfile();
  broken.createDeviceEntry = [] { return static_cast<DeviceEntry*>(nullptr); };
  PrintJobSetup setup;
  setup.profile = &broken;
  EXPECT_THROW(PrintJob job(setup), std::bad_alloc);
}

}  // namespace
