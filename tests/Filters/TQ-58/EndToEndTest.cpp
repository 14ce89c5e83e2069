// Whole jobs through real CUPS programs: a JPEG turned into raster by
// cupsfilter (CUPS's own imagetoraster) and printed by our filter, and a job
// submitted to a private cupsd whose queue uses our PPD and filter.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "CupsdFixture.h"
#include "PacketDecoder.h"
#include "PrintImage.h"
#include "Process.h"
#include "TempRoot.h"

namespace {

const std::string kPpd = std::string(TQ58_SOURCE_DIR) + "/packaging/ppd/TQ-58.ppd";

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The sample chart as a JPEG made by cjpeg.
std::string MakeJpeg(const TempRoot& root)
{
  const std::string ppm = root.Path() + "/sample.ppm", jpg = root.Path() + "/sample.jpg";
  EXPECT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, ppm, "1266", "1836"}).exitCode, 0);
  const ProcessResult jpeg = RunProcess({"cjpeg", "-quality", "95", "-outfile", jpg, ppm});
  EXPECT_EQ(jpeg.exitCode, 0) << jpeg.err;
  return jpg;
}

struct Print {
  std::vector<std::string> sequence;
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  // Mean of channel c over a 40 x 40 window centred at (x, y) of the picture.
  double Mean(int x, int y, int c) const
  {
    double sum = 0;
    for (int yy = y - 20; yy < y + 20; ++yy)
      for (int xx = x - 20; xx < x + 20; ++xx) sum += rgb[(size_t(yy) * width + xx) * 3 + c];
    return sum / 1600.0;
  }
};

Print Decode(const std::string& stream)
{
  Print print;
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error))
      << error;
  PlaneImage planes[3];
  int found = 0;
  for (const DecodedPacket& p : packets) {
    print.sequence.push_back(p.command + " " + p.subcommand);
    if (p.command == "IMAGE" && p.subcommand.find("PLANE") != std::string::npos && found < 3) {
      EXPECT_TRUE(TQ58_ReadPlane(p, &planes[found++], &error)) << error;
    }
  }
  if (found == 3 && TQ58_ComposePrint(planes[0], planes[1], planes[2], &print.rgb)) {
    print.width = planes[0].width;
    print.height = planes[0].height;
  }
  return print;
}

const std::vector<std::string> kOnePrint = {
    "CNTRL SET_SYS_TIME", "CNTRL CUTTER", "CNTRL OVERCOAT", "CNTRL BUFFCNTRL", "CNTRL PRINTSPEED", "CNTRL DECURL",
    "IMAGE MULTICUT",     "IMAGE YPLANE", "IMAGE MPLANE",   "IMAGE CPLANE",    "CNTRL START"};

// The chart's patches, as placed on the 1408-dot head (71 white columns each side).
void ExpectLooksLikeTheChart(const Print& print)
{
  ASSERT_EQ(print.width, 1408);
  ASSERT_EQ(print.height, 1836);
  struct Patch { int x, y; double r, g, b; };
  const Patch patches[] = {{71 + 105, 765, 255, 0, 0},      {71 + 316, 765, 0, 255, 0},
                           {71 + 527, 765, 0, 0, 255},      {71 + 1160, 765, 255, 255, 0},
                           {71 + 316, 1071, 0, 0, 0},       {71 + 527, 1071, 255, 224, 196},
                           {71 + 1160, 1071, 141, 85, 54}};
  for (const Patch& p : patches) {
    EXPECT_NEAR(print.Mean(p.x, p.y, 0), p.r, 20) << p.x << "," << p.y;
    EXPECT_NEAR(print.Mean(p.x, p.y, 1), p.g, 20) << p.x << "," << p.y;
    EXPECT_NEAR(print.Mean(p.x, p.y, 2), p.b, 20) << p.x << "," << p.y;
  }
  EXPECT_EQ(print.Mean(30, 900, 0), 255);  // outside the picture the sheet stays white
}

TEST(EndToEnd, JpegThroughCupsfilterAndTheFilter)
{
  TempRoot root;
  root.CacheFolder();
  root.WriteFile("Library/Caches/Pellori/TQ-58/Print_5.log", "MEDIA_CLASS=\"0001\"\n");
  const std::string jpg = MakeJpeg(root);
  const ProcessResult raster =
      RunProcess({"cupsfilter", "-p", kPpd, "-m", "application/vnd.cups-raster", "-o", "PageSize=102x153mm", jpg});
  ASSERT_EQ(raster.exitCode, 0) << raster.err;
  const std::string rasterPath = root.WriteFile("page.ras", raster.out);
  const ProcessResult job = RunProcess({TQ58_FILTER_PATH, "5", "user", "title", "1", "PageSize=102x153mm FyxICM=None",
                                        rasterPath},
                                       "", {"PPD=" + kPpd});
  EXPECT_EQ(job.exitCode, 0);
  EXPECT_EQ(job.err, "");  // the filter writes nothing to standard error
  const Print print = Decode(job.out);
  EXPECT_EQ(print.sequence, kOnePrint);
  ExpectLooksLikeTheChart(print);
}

TEST(EndToEnd, PpdPassesCupstestppd)
{
  // The filter is not installed system-wide; every other check must pass.
  const ProcessResult r = RunProcess({"cupstestppd", "-W", "none", kPpd});
  std::istringstream lines(r.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("**FAIL**") != std::string::npos) {
      EXPECT_NE(line.find("Missing cupsFilter"), std::string::npos) << line;
    }
  }
}

class CupsdJob : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    for (int id = 1; id <= 5; ++id)
      root.WriteFile("Library/Caches/Pellori/TQ-58/Print_" + std::to_string(id) + ".log", "MEDIA_CLASS=\"0001\"\n");
    out = root.Path() + "/out";
    std::filesystem::create_directories(out);
    chmod(out.c_str(), 0777);  // the backend runs as lp
    cupsd.SetEnv("TQ58_ROOT", root.Path());
    std::string error;
    ASSERT_TRUE(cupsd.Start(&error)) << error;
    ASSERT_TRUE(cupsd.LinkProgram("filter", "rastertotq58", TQ58_FILTER_PATH));
    ASSERT_TRUE(cupsd.AddBackend("tq58save",
                                 "#!/bin/sh\n"
                                 "[ $# -eq 0 ] && { echo 'direct tq58save \"Unknown\" \"stream saver\"'; exit 0; }\n"
                                 "out=\"${DEVICE_URI#tq58save:}\"\n"
                                 "if [ $# -ge 6 ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi\n"
                                 "mv \"$out.part\" \"$out\"\n"));
  }
  TempRoot root;
  PrivateCupsd cupsd;
  std::string out;
};

TEST_F(CupsdJob, QueueWithOurPpdPrintsAJpeg)
{
  const std::string jpg = MakeJpeg(root);
  const std::string stream = out + "/job.bin";
  ProcessResult add = cupsd.Run({"lpadmin", "-p", "TQ58", "-v", "tq58save:" + stream, "-P", kPpd, "-E"});
  ASSERT_EQ(add.exitCode, 0) << add.err;
  ProcessResult lp = cupsd.Run({"lp", "-d", "TQ58", "-o", "PageSize=102x153mm", "-o", "FyxICM=None", jpg});
  ASSERT_EQ(lp.exitCode, 0) << lp.err;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!std::filesystem::exists(stream) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(std::filesystem::exists(stream)) << cupsd.ErrorLog();
  const Print print = Decode(ReadAll(stream));
  EXPECT_EQ(print.sequence, kOnePrint);
  ExpectLooksLikeTheChart(print);
}

}  // namespace
