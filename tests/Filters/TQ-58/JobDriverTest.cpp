// The job driver in-process: arguments, the packet sequence of whole jobs,
// copies, orientation, the wait for the job information file, and cancel.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "FilterTestUtil.h"
#include "JobDriver.h"
#include "JobPages.h"
#include "PacketDecoder.h"
#include "RasterTestUtil.h"
#include "TempRoot.h"

namespace {

struct JobRun {
  int exitCode = -1;
  int sleeps = 0;
  std::vector<DecodedPacket> packets;
  std::string bytes;
};

JobRun RunJob(std::vector<std::string> args)
{
  JobRun run;
  FILE* out = std::tmpfile();
  FilterJobHooks hooks;
  hooks.sleep = [&](unsigned) { ++run.sleeps; };
  hooks.output = out;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  run.exitCode = RunFilterJob(static_cast<int>(argv.size()), argv.data(), hooks);
  std::fflush(out);
  run.bytes.resize(static_cast<size_t>(std::ftell(out)));
  std::rewind(out);
  if (!run.bytes.empty()) {
    EXPECT_EQ(std::fread(run.bytes.data(), 1, run.bytes.size(), out), run.bytes.size());
  }
  std::fclose(out);
  std::string error;
  EXPECT_TRUE(
      TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(run.bytes.data()), run.bytes.size(), &run.packets, &error))
      << error;
  return run;
}

std::vector<std::string> Names(const JobRun& run)
{
  std::vector<std::string> names;
  for (const DecodedPacket& p : run.packets) names.push_back(p.subcommand);
  return names;
}

const std::vector<std::string> kPrint = {"CUTTER",   "OVERCOAT", "BUFFCNTRL", "PRINTSPEED", "DECURL",
                                         "MULTICUT", "YPLANE",   "MPLANE",    "CPLANE",     "START"};

class FilterJob : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    root.WriteFile("var/cache/pellori/TQ-58/Print_12.log", "MEDIA_CLASS=\"0001\"\n");
    raster = root.Path() + "/job.ras";
  }
  std::vector<std::string> Args(const std::string& options, bool withFile = true)
  {
    std::vector<std::string> a = {"rastertotq58", "12", "user", "title", "1", options};
    if (withFile) a.push_back(raster);
    return a;
  }
  TempRoot root;
  std::string raster;
};

TEST_F(FilterJob, WrongArgumentsAndUnreadableFile)
{
  JobRun five = RunJob({"rastertotq58", "12", "user", "title", "1"});
  EXPECT_EQ(five.exitCode, 1);
  EXPECT_TRUE(five.bytes.empty());
  JobRun eight = RunJob({"rastertotq58", "12", "u", "t", "1", "", "/x", "extra"});
  EXPECT_EQ(eight.exitCode, 1);
  EXPECT_TRUE(eight.bytes.empty());
  JobRun missing = RunJob({"rastertotq58", "12", "u", "t", "1", "", root.Path() + "/absent.ras"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.sleeps, 1);
  EXPECT_TRUE(missing.bytes.empty());
}

TEST_F(FilterJob, NoPageGivesOnlyTheClockPacket)
{
  WriteRasterFile(raster, {});
  JobRun run = RunJob(Args("PageSize=102x153mm"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(Names(run), std::vector<std::string>{"SET_SYS_TIME"});
  EXPECT_EQ(run.sleeps, 1);  // the information file was there at the first look
}

TEST_F(FilterJob, ThreeCopiesAreThreePrintsOfOneBitmap)
{
  RasterPage page;
  page.width = 1266;
  page.height = 1836;
  page.copies = 3;
  page.pixel = [](unsigned, unsigned, unsigned c) {
    return static_cast<unsigned char>(c == 0 ? 200 : c == 1 ? 120 : 40);
  };
  WriteRasterFile(raster, {page});
  JobRun run = RunJob(Args("PageSize=102x153mm FyxICM=None"));
  std::vector<std::string> expected = {"SET_SYS_TIME"};
  for (int i = 0; i < 3; ++i) expected.insert(expected.end(), kPrint.begin(), kPrint.end());
  EXPECT_EQ(Names(run), expected);
  // The picture is centred on the 1408-dot head: 71 white columns each side.
  const uint8_t* cyan = run.packets[9].payload.data() + 1088;
  EXPECT_EQ(cyan[900 * 1408 + 70], 255);
  EXPECT_NEAR(cyan[900 * 1408 + 71], 200, 1);
  EXPECT_NEAR(run.packets[8].payload[1088 + 900 * 1408 + 700], 120, 1);
  EXPECT_NEAR(run.packets[7].payload[1088 + 900 * 1408 + 700], 40, 1);
  EXPECT_EQ(run.packets[9].payload, run.packets[19].payload);
}

TEST_F(FilterJob, ZeroCopiesAndUnknownMediaPrintNothing)
{
  RasterPage page;
  page.width = 64;
  page.height = 32;
  page.copies = 0;
  WriteRasterFile(raster, {page});
  EXPECT_EQ(Names(RunJob(Args("PageSize=102x153mm"))), std::vector<std::string>{"SET_SYS_TIME"});
  page.copies = 1;
  WriteRasterFile(raster, {page});
  // The settings go out, but a print without media geometry does not.
  EXPECT_EQ(Names(RunJob(Args("PageSize=A4"))),
            (std::vector<std::string>{"SET_SYS_TIME", "CUTTER", "OVERCOAT", "BUFFCNTRL", "PRINTSPEED", "DECURL"}));
}

TEST_F(FilterJob, MissingInformationFileWaitsTheFullTime)
{
  WriteRasterFile(raster, {});
  std::vector<std::string> args = Args("");
  args[1] = "13";
  JobRun run = RunJob(args);
  EXPECT_EQ(run.sleeps, 120);
  EXPECT_EQ(run.exitCode, 0);
}

TEST(FilterPages, RowBytesAndLineStorage)
{
  EXPECT_EQ(PageRowBytes(1266), 3800u);
  EXPECT_EQ(PageRowBytes(1), 4u);
  EXPECT_EQ(PageRowBytes(0xFFFFFFFFu), 0u);  // beyond the page bound
  const unsigned w = 3, h = 2;
  const size_t rb = PageRowBytes(w);
  const unsigned char line[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<unsigned char> page(rb * h, 0);
  StoreRasterLine(page.data(), rb, line, 9, w, h, 0, 4);
  EXPECT_EQ(std::vector<unsigned char>(page.begin(), page.begin() + 9),
            (std::vector<unsigned char>{7, 8, 9, 4, 5, 6, 1, 2, 3}));  // row 0, mirrored
  std::fill(page.begin(), page.end(), 0);
  StoreRasterLine(page.data(), rb, line, 9, w, h, 0, 1);
  EXPECT_EQ(page[rb * 1], 1);  // first line lands on the top stored row
  EXPECT_EQ(page[0], 0);
  // A grey line holds fewer bytes than width x 3: only whole pixels it holds are copied.
  std::fill(page.begin(), page.end(), 0);
  StoreRasterLine(page.data(), rb, line, 4, w, h, 1, 3);
  EXPECT_EQ(std::vector<unsigned char>(page.begin(), page.begin() + 9),
            (std::vector<unsigned char>{1, 2, 3, 0, 0, 0, 0, 0, 0}));
  StoreRasterLine(page.data(), rb, line, 9, w, h, 5, 1);  // a line past the page is ignored
}

TEST_F(FilterJob, GreyAndEmptyPagesAreHandledSafely)
{
  RasterPage grey;
  grey.width = 100;
  grey.height = 50;
  grey.bitsPerPixel = 8;
  RasterPage colour;
  colour.width = 100;
  colour.height = 50;
  WriteRasterFile(raster, {grey, colour});
  JobRun run = RunJob(Args("PageSize=102x102mm"));
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.packets.size(), 1u + 2 * kPrint.size());
}

// SIGTERM while page 2 is read: page 1 is printed, nothing of page 2, exit 0.
TEST_F(FilterJob, CancelDuringSecondPageKeepsOnlyTheFirst)
{
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  const pid_t pid = StartFilterProcess(TQ58_FILTER_PATH, &in[1], &out[0]);
  ASSERT_GT(pid, 0);
  RasterPage page;
  page.width = 200;
  page.height = 100;
  std::thread writer([&] { WriteRaster(in[1], {page, page}, 10); });
  // Read until page 1's START has arrived; the filter is then reading page 2.
  std::string stream;
  char buf[65536];
  while (stream.find(std::string("CNTRL START")) == std::string::npos) {
    const ssize_t n = read(out[0], buf, sizeof buf);
    ASSERT_GT(n, 0);
    stream.append(buf, size_t(n));
  }
  writer.join();  // page 2 stops after 10 lines: the filter waits for line 11
  kill(pid, SIGTERM);
  close(in[1]);
  ssize_t n;
  while ((n = read(out[0], buf, sizeof buf)) > 0) stream.append(buf, size_t(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::vector<DecodedPacket> packets;
  std::string error;
  ASSERT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error));
  EXPECT_EQ(packets.size(), 1u + kPrint.size());
  EXPECT_EQ(packets.back().subcommand, "START");
}

}  // namespace
