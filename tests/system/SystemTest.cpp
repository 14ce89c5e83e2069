// The whole system through a real scheduler: plugging in the emulated
// printer makes its queue, lp prints through our filter and backend, the
// emulator keeps the print, and the daemon's information file follows.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "SystemFixture.h"

namespace {

const std::vector<std::string> k4x6 = {"PageSize=102x153mm"};

// A uniform grey picture of level, as a JPEG.
std::string GreyPhoto(const std::string& folder, int level)
{
  const std::string ppm = folder + "/grey" + std::to_string(level) + ".ppm";
  const std::string jpg = folder + "/grey" + std::to_string(level) + ".jpg";
  std::ofstream out(ppm, std::ios::binary);
  out << "P6\n64 64\n255\n" << std::string(64 * 64 * 3, static_cast<char>(level));
  out.close();
  EXPECT_EQ(RunProcess({"cjpeg", "-quality", "100", "-outfile", jpg, ppm}).exitCode, 0);
  return jpg;
}

TEST_F(SystemTest, PluggedInPrinterGetsAQueueAndPrintsAPhoto)
{
  Plug();
  WaitForQueue();
  const ProcessResult lpinfo = cupsd_.Run({"lpinfo", "-v"});
  EXPECT_NE(lpinfo.out.find("direct " + kUriPrefix + "TQ58-0001\n"), std::string::npos) << lpinfo.out << lpinfo.err;
  ASSERT_TRUE(WaitUntil([&] { return Info("MEDIA_REMAIN") == "00050"; }, 5000));

  const std::string job = Print(SamplePhoto(), k4x6);
  ASSERT_FALSE(job.empty());
  ASSERT_TRUE(WaitForJobsDone(60000));
  ASSERT_EQ(emulator_->GetPrintCount("p1"), 1);
  EXPECT_TRUE(std::filesystem::exists(prints_ + "/p1-print-0001.png"));
  const PrintPicture picture = Picture(emulator_->GetPrints("p1")[0]);
  EXPECT_EQ(picture.width, 1408);
  EXPECT_EQ(picture.height, 1836);
  EXPECT_FALSE(std::filesystem::exists(CacheFile("Print_" + job + ".log")));  // gone with the job

  // The file keeps its count until a pass is asked for.
  EXPECT_EQ(Info("MEDIA_REMAIN"), "00050");
  Touch("_TC_UTIL");
  EXPECT_TRUE(WaitUntil([&] { return Info("MEDIA_REMAIN") == "00049"; }, 5000));
  EXPECT_EQ(Info("TOTAL_COUNT"), "00000001");
  EXPECT_FALSE(std::filesystem::exists(CacheFile("TQ-58_TQ58-0001_TC_UTIL")));
}

TEST_F(SystemTest, TwoCopiesGiveTwoPrints)
{
  Plug();
  WaitForQueue();
  ASSERT_FALSE(Print(SamplePhoto(), k4x6, 2).empty());
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 2);
  EXPECT_TRUE(std::filesystem::exists(prints_ + "/p1-print-0002.png"));
}

TEST_F(SystemTest, TheMediaClassChoosesTheColourProfile)
{
  Plug();  // media class 1: "0001", the SD profile
  WaitForQueue();
  ASSERT_TRUE(WaitUntil([&] { return Info("MEDIA_CLASS") == "0001"; }, 5000));
  const std::string photo = SamplePhoto();
  ASSERT_FALSE(Print(photo, k4x6).empty());
  ASSERT_TRUE(WaitForJobsDone(60000));
  // Other media: the daemon learns of it in the pass the status window asks for.
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.mediaClass = 2; }));
  Touch("_TC_UTIL");
  ASSERT_TRUE(WaitUntil([&] { return Info("MEDIA_CLASS") == "0002"; }, 5000));
  ASSERT_FALSE(Print(photo, k4x6).empty());
  ASSERT_TRUE(WaitForJobsDone(60000));
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), 2u);
  const PrintPicture sd = Picture(prints[0]), pd = Picture(prints[1]);
  ASSERT_EQ(sd.width, pd.width);
  ASSERT_GT(sd.width, 0);
  // The SD media's wider green and flatter tone curve print the chart with
  // less green and blue; red, whose primary both share, stays close.
  double difference[3];
  for (int c = 0; c < 3; ++c) {
    difference[c] = pd.Mean(c, 71, 0, pd.width - 71, pd.height) - sd.Mean(c, 71, 0, sd.width - 71, sd.height);
  }
  EXPECT_GT(difference[1], 6.0);
  EXPECT_GT(difference[2], 4.0);
  EXPECT_LT(std::abs(difference[0]), 4.0);
}

TEST_F(SystemTest, UnpluggedPrinterMakesTheJobWaitAndItPrintsOnceWhenBack)
{
  Plug();
  WaitForQueue();
  const std::string photo = SamplePhoto();
  // Unplugged while the job runs: the backend has begun (its job file is there), nothing printed yet.
  const std::string job = Print(photo, k4x6);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(CacheFile("Print_" + job + ".log")); }, 20000));
  ASSERT_EQ(emulator_->GetPrintCount("p1"), 0);
  ASSERT_TRUE(emulator_->Unplug("p1"));
  ASSERT_TRUE(WaitUntil([&] { return PrinterStateReasons().find("offline-report") != std::string::npos; }, 20000));
  Plug();
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);

  // Unplugged before the job: it waits for the printer.
  ASSERT_TRUE(emulator_->Unplug("p1"));
  ASSERT_FALSE(Print(photo, k4x6).empty());
  ASSERT_TRUE(WaitUntil([&] { return PrinterStateReasons().find("offline-report") != std::string::npos; }, 20000));
  EXPECT_EQ(ActiveJobs(), 1);
  Plug();
  ASSERT_TRUE(WaitForJobsDone(60000));
  EXPECT_EQ(emulator_->GetPrintCount("p1"), 1);
  EXPECT_EQ(PrinterStateReasons().find("offline-report"), std::string::npos);
}

TEST_F(SystemTest, FiftyJobsBackToBackEachPrintedOnce)
{
  Plug("p1", [](EmulatedPrinterState& s) {
    s.mediaRemain = 200;
    s.savePng = false;
  });
  WaitForQueue();
  Touch("_UTIL");  // the status window is open: the daemon polls the printer all along
  constexpr int kJobs = 50;
  for (int i = 0; i < kJobs; ++i) {
    ASSERT_FALSE(Print(GreyPhoto(root_.Path(), 40 + 3 * i), {"PageSize=102x102mm", "fit-to-page"}).empty());
  }
  ASSERT_TRUE(WaitForJobsDone(kJobs * 10000));
  const std::vector<EmulatedPrint> prints = emulator_->GetPrints("p1");
  ASSERT_EQ(prints.size(), static_cast<size_t>(kJobs));
  // Each job's grey is lighter than the one before: none is missing, none came twice.
  double previous = -1;
  for (int i = 0; i < kJobs; ++i) {
    const PrintPicture p = Picture(prints[i]);
    ASSERT_GT(p.width, 0);
    const double grey = p.Mean(1, p.width / 2 - 50, p.height / 2 - 50, p.width / 2 + 50, p.height / 2 + 50);
    EXPECT_GT(grey, previous + 0.5) << "job " << i + 1;
    previous = grey;
  }
  EXPECT_TRUE(WaitUntil([&] { return Info("MEDIA_REMAIN") == "00150"; }, 5000)) << Info("MEDIA_REMAIN");
}

}  // namespace
