// The printer application as IPP clients and the emulated printer see it:
// CUPS's IPP Everywhere test file, the print path against the PPD path, copies,
// cancelling, and the printer's state as printer-state-reasons and supply.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "AppServer.h"
#include "InstallLayout.h"
#include "PacketDecoder.h"
#include "PrintImage.h"
#include "PatchMean.h"

namespace {

const std::string kPpd = std::string(TQ58_SOURCE_DIR) + "/packaging/ppd/TQ-58.ppd";

// The sample photo as a 4x6 JPEG (1200 x 1800) in dir.
std::string MakeJpeg(const std::string& dir)
{
  const std::string ppm = dir + "/sample.ppm", jpg = dir + "/sample.jpg";
  EXPECT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, ppm, "1200", "1800"}).exitCode, 0);
  const ProcessResult jpeg = RunProcess({"cjpeg", "-quality", "95", "-outfile", jpg, ppm});
  EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
  return jpg;
}

// The ICC profiles where the print path looks for them, below root.
void InstallProfiles(const TempRoot& root)
{
  for (const char* path : {tq58_layout::kProfilePD, tq58_layout::kProfileSD}) {
    const std::filesystem::path target = root.Path() + path;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(std::string(TQ58_PROFILE_DIR) + "/" + target.filename().string(), target);
  }
}

// A print as RGB (planes composed), with the mean of a 40 x 40 patch.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  double Mean(int x, int y, int c) const { return GetPatchMean(rgb, width, x, y, c); }
};

// The picture of the plane payloads (BMP files) Y, M, C.
Picture Compose(const std::vector<std::string>& planes)
{
  Picture picture;
  PlaneImage images[3];
  std::string error;
  for (int i = 0; i < 3 && i < static_cast<int>(planes.size()); ++i) {
    DecodedPacket packet;
    packet.command = "IMAGE";
    packet.payload.assign(planes[i].begin(), planes[i].end());
    EXPECT_TRUE(TQ58_ReadPlane(packet, &images[i], &error)) << error;
  }
  if (TQ58_ComposePrint(images[0], images[1], images[2], &picture.rgb)) {
    picture.width = images[0].width;
    picture.height = images[0].height;
  }
  return picture;
}

// The same photo through the PPD path: cupsfilter's raster, then the filter
// with the media class "0001" in its job information file.
Picture PrintThroughThePpdPath(const TempRoot& root, const std::string& jpg)
{
  root.WriteFile("var/cache/pellori/TQ-58/Print_5.log", "MEDIA_CLASS=\"0001\"\n");
  const ProcessResult raster =
      RunProcess({"cupsfilter", "-p", kPpd, "-m", "application/vnd.cups-raster", "-o", "PageSize=102x153mm", jpg});
  EXPECT_EQ(raster.exitCode, 0) << raster.err;
  const std::string rasterPath = root.WriteFile("page.ras", raster.out);
  const ProcessResult job = RunProcess({TQ58_FILTER_PATH, "5", "user", "title", "1", "PageSize=102x153mm", rasterPath},
                                       "", {"PPD=" + kPpd, "TQ58_ROOT=" + root.Path()});
  EXPECT_EQ(job.exitCode, 0) << job.err;
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(job.out.data()), job.out.size(), &packets, &error));
  std::vector<std::string> planes;
  for (const DecodedPacket& p : packets) {
    if (p.command == "IMAGE" && p.subcommand.find("PLANE") != std::string::npos)
      planes.emplace_back(p.payload.begin(), p.payload.end());
  }
  return Compose(planes);
}

class PrinterApp : public ::testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(server.GetBus()->Plug("p1", EmulatedPrinterState{}));
    ASSERT_TRUE(server.Start()) << server.GetLog();
    ASSERT_TRUE(server.AddPrinter("p1")) << server.GetLog();
    jpg = MakeJpeg(server.GetRoot().Path());
  }

  int PrintCount() { return server.GetBus()->GetPrintCount("p1"); }

  AppServer server;
  std::string jpg;
};

TEST_F(PrinterApp, PassesTheIppEverywhereTestFile)
{
  // printer-up-time must be above 0: the test file reads it.
  ASSERT_TRUE(WaitFor(5000, [&] {
    ipp_t* attrs = server.GetPrinterAttributes("p1");
    const std::string upTime = GetAttributeText(attrs, "printer-up-time");
    ippDelete(attrs);
    return !upTime.empty() && upTime != "0";
  }));
  const ProcessResult ipp =
      RunProcess({"ipptool", "-t", "-T", "300", "-f", jpg, server.GetPrinterUri("p1"), "ipp-everywhere.test"});
  EXPECT_EQ(ipp.exitCode, 0) << ipp.out << ipp.err;
  EXPECT_EQ(ipp.out.find("[FAIL]"), std::string::npos) << ipp.out;
  EXPECT_NE(ipp.out.find("Print-Job Operation"), std::string::npos) << ipp.out;
  std::fprintf(stderr, "%s", ipp.out.c_str());
  // The test file's prints reached the printer.
  // Deadlines are generous: an unoptimised sanitizer build prints slowly.
  EXPECT_TRUE(WaitFor(600000, [&] { return PrintCount() >= 3; })) << PrintCount();
}

TEST_F(PrinterApp, PhotoMatchesThePpdPath)
{
  InstallProfiles(server.GetRoot());
  // The PPD's default resolution; print-quality "high" would choose 600 x 600.
  const auto start = std::chrono::steady_clock::now();
  const int job = server.PrintFile("p1", jpg, "image/jpeg", 1, {{"media", "na_index-4x6_4x6in"}}, 300);
  ASSERT_GT(job, 0);
  ASSERT_TRUE(WaitFor(60000, [&] { return PrintCount() == 1; })) << server.GetLog();
  // For the notes, not checked: Print-Job to the print's last packet (CNTRL START).
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::fprintf(stderr, "Print-Job to the last packet of a 4x6 photo: %lld ms\n", static_cast<long long>(ms.count()));
  EXPECT_EQ(server.WaitForJobEnd("p1", job, 60000), IPP_JSTATE_COMPLETED);
  const std::vector<EmulatedPrint> prints = server.GetBus()->GetPrints("p1");
  EXPECT_EQ(prints[0].multiCut, "00000048");  // 4 x 6 in
  const Picture app = Compose(prints[0].planes);
  const Picture ppd = PrintThroughThePpdPath(server.GetRoot(), jpg);
  ASSERT_EQ(app.width, ppd.width);
  ASSERT_EQ(app.height, ppd.height);
  // The chart's patches, on the 1408-dot head.
  const int patches[][2] = {{176, 765}, {387, 765}, {598, 765}, {1231, 765}, {387, 1071}, {598, 1071}, {1231, 1071}};
  for (const auto& p : patches) {
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(app.Mean(p[0], p[1], c), ppd.Mean(p[0], p[1], c), 12) << p[0] << "," << p[1] << " channel " << c;
      std::fprintf(stderr, "patch %d,%d channel %d: app %.1f ppd %.1f\n", p[0], p[1], c, app.Mean(p[0], p[1], c),
                   ppd.Mean(p[0], p[1], c));
    }
  }
}

TEST_F(PrinterApp, CopiesAreThatManyPrints)
{
  const int job = server.PrintFile("p1", jpg, "image/jpeg", 3);
  ASSERT_GT(job, 0);
  EXPECT_EQ(server.WaitForJobEnd("p1", job, 60000), IPP_JSTATE_COMPLETED);
  EXPECT_EQ(PrintCount(), 3);
}

TEST_F(PrinterApp, CancelledJobStopsSending)
{
  const int job = server.PrintFile("p1", jpg, "image/jpeg", 50);
  ASSERT_GT(job, 0);
  ASSERT_TRUE(WaitFor(60000, [&] { return PrintCount() >= 1; }));
  ASSERT_TRUE(server.CancelJob("p1", job));
  EXPECT_EQ(server.WaitForJobEnd("p1", job, 30000), IPP_JSTATE_CANCELED);
  const int atEnd = PrintCount();
  EXPECT_LT(atEnd, 50);
  // Nothing more arrives once the job has ended: a print made after it would
  // be counted by the next status look.
  ipp_t* attrs = server.GetPrinterAttributes("p1");
  ippDelete(attrs);
  EXPECT_EQ(PrintCount(), atEnd);
}

TEST_F(PrinterApp, OutOfMediaShowsTheReasonAndTheJobWaitsForNewMedia)
{
  server.GetBus()->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 1100;
    s.mediaRemain = 0;
  });
  std::string reasons, supply;
  EXPECT_TRUE(WaitFor(15000, [&] {
    ipp_t* attrs = server.GetPrinterAttributes("p1");
    reasons = GetAttributeText(attrs, "printer-state-reasons");
    supply = GetAttributeText(attrs, "printer-supply");
    ippDelete(attrs);
    return reasons.find("media-empty") != std::string::npos;
  })) << reasons;
  EXPECT_NE(supply.find("type=inkRibbon"), std::string::npos) << supply;
  EXPECT_NE(supply.find("level=0;"), std::string::npos) << supply;
  const int job = server.PrintFile("p1", jpg, "image/jpeg", 1);
  ASSERT_GT(job, 0);
  EXPECT_TRUE(WaitFor(10000, [&] { return server.GetJobState("p1", job) == IPP_JSTATE_PROCESSING; }));
  EXPECT_EQ(PrintCount(), 0);
  // Reloaded: the job goes on, and the reason and the level clear.
  server.GetBus()->Update("p1", [](EmulatedPrinterState& s) {
    s.status = 0;
    s.mediaRemain = 50;
  });
  EXPECT_EQ(server.WaitForJobEnd("p1", job, 60000), IPP_JSTATE_COMPLETED);
  EXPECT_EQ(PrintCount(), 1);
  EXPECT_TRUE(WaitFor(15000,
                      [&] {
                        ipp_t* attrs = server.GetPrinterAttributes("p1");
                        reasons = GetAttributeText(attrs, "printer-state-reasons");
                        supply = GetAttributeText(attrs, "printer-supply");
                        ippDelete(attrs);
                        return reasons == "none" && supply.find("level=98;") != std::string::npos;
                      }))
      << reasons << " " << supply;
}

}  // namespace
