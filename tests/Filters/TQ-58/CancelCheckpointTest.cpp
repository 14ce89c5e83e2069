// SIGTERM at the filter's cancel checkpoints, on the built rastertotq58
// process: the stream sent so far ends with whole prints and the exit code is 0.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "JobDriver.h"
#include "JobPages.h"
#include "PacketDecoder.h"
#include "PhotoPrinterDeviceTQ58.h"
#include "RasterTestUtil.h"
#include "TempRoot.h"

namespace {

constexpr size_t kPacketsPerPrint = 10;  // CUTTER ... START, after the one clock packet

struct CancelledJob {
  int exitCode = -1;
  std::vector<DecodedPacket> packets;
};

// Runs the filter on pages written to its standard input (the last one cut
// after lastPageLines lines, the input kept open), reads its stream until the
// first print's START and then sends SIGTERM.
CancelledJob RunAndCancel(const std::vector<RasterPage>& pages, int lastPageLines)
{
  int in[2] = {-1, -1}, out[2] = {-1, -1};
  const pid_t pid = StartFilterProcess(TQ58_FILTER_PATH, &in[1], &out[0]);
  EXPECT_GT(pid, 0);
  std::thread writer([&] { WriteRaster(in[1], pages, lastPageLines); });
  std::string stream;
  char buf[65536];
  ssize_t n = 1;
  while (n > 0 && stream.find("CNTRL START") == std::string::npos) {
    if ((n = read(out[0], buf, sizeof buf)) > 0) stream.append(buf, size_t(n));
  }
  writer.join();
  kill(pid, SIGTERM);
  close(in[1]);
  while ((n = read(out[0], buf, sizeof buf)) > 0) stream.append(buf, size_t(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  CancelledJob job;
  if (WIFEXITED(status)) job.exitCode = WEXITSTATUS(status);
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &job.packets, &error))
      << error;
  return job;
}

class FilterCancel : public ::testing::Test {
protected:
  void SetUp() override
  {
    root.CacheFolder();
    root.WriteFile("var/cache/pellori/TQ-58/Print_12.log", "MEDIA_CLASS=\"0001\"\n");
    page.width = 200;
    page.height = 100;
  }
  TempRoot root;
  RasterPage page;
};

// Cancelled right after page 2's header: nothing of page 2 is printed.
TEST_F(FilterCancel, AfterFurtherPageHeaderKeepsOnlyTheFirstPage)
{
  const CancelledJob job = RunAndCancel({page, page}, 0);
  EXPECT_EQ(job.exitCode, 0);
  ASSERT_EQ(job.packets.size(), 1 + kPacketsPerPrint);
  EXPECT_EQ(job.packets.back().subcommand, "START");
}

// Cancelled while a page's copies are being sent: the copy being written is
// finished whole and no further copy follows.
// A cancel that arrives while a page's copies are sent lets those copies finish.
TEST_F(FilterCancel, DuringCopiesLetsTheCopiesFinish)
{
  page.copies = 30;
  const CancelledJob job = RunAndCancel({page}, -1);
  EXPECT_EQ(job.exitCode, 0);
  EXPECT_EQ(job.packets.size(), 1 + 30 * kPacketsPerPrint);
  EXPECT_EQ(job.packets.back().subcommand, "START");
}

}  // namespace

// The same checkpoints in-process, where the moment of the cancel is exact: the
// raster is served from memory by a read callback that raises the cancel flag
// as it hands over a chosen byte.
namespace {

struct CancellingSource {
  std::string bytes;
  size_t position = 0;
  size_t cancelAt = 0;  // the cancel comes with the byte at this offset
  volatile sig_atomic_t canceled = 0;
};

ssize_t ReadAndCancel(void* context, unsigned char* buffer, size_t length)
{
  auto* source = static_cast<CancellingSource*>(context);
  size_t end = std::min(source->bytes.size(), source->position + length);
  // Never hand over bytes past the cancel point together with earlier ones.
  if (source->position <= source->cancelAt && end > source->cancelAt) {
    end = source->position < source->cancelAt ? source->cancelAt : source->cancelAt + 1;
    if (end == source->cancelAt + 1) source->canceled = 1;
  }
  std::memcpy(buffer, source->bytes.data() + source->position, end - source->position);
  const auto count = static_cast<ssize_t>(end - source->position);
  source->position = end;
  return count;
}

class InProcessCancel : public FilterCancel {
protected:
  // Runs the page loop on two pages of `page` with the cancel coming with the
  // last byte of page `cancelPage` (1 or 2); returns the packets sent.
  std::vector<DecodedPacket> RunCancelledAfterLines(int cancelPage)
  {
    const std::string path = root.Path() + "/job.ras";
    WriteRasterFile(path, {page, page});
    CancellingSource source;
    std::ifstream file(path, std::ios::binary);
    source.bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    const size_t pageBytes = sizeof(cups_page_header2_t) + size_t{page.width} * 3 * page.height;
    EXPECT_EQ(source.bytes.size(), 4 + 2 * pageBytes);  // sync word and two uncompressed pages
    source.cancelAt = 4 + size_t(cancelPage) * pageBytes - 1;

    FILE* out = std::tmpfile();
    std::vector<DecodedPacket> packets;
    {
      PrintJobSetup setup;
      setup.jobId = "12";
      setup.numOptions = cupsParseOptions("PageSize=102x102mm FyxICM=None", 0, &setup.options);
      setup.sinkContext = out;
      setup.cancel = &source.canceled;
      PrintJob job(setup);
      DeviceEntry& entry = job.GetEntry();
      entry.SetResolution(setup.numOptions, setup.options, nullptr);
      entry.SetMediaSize(setup.numOptions, setup.options, nullptr);
      entry.SetICM(setup.numOptions, setup.options, nullptr);
      cups_raster_t* raster = cupsRasterOpenIO(ReadAndCancel, &source, CUPS_RASTER_READ);
      RunPageLoop(job, raster);
      cupsRasterClose(raster);
      cupsFreeOptions(setup.numOptions, setup.options);
    }
    std::string stream(static_cast<size_t>(std::ftell(out)), '\0');
    std::rewind(out);
    EXPECT_EQ(std::fread(stream.data(), 1, stream.size(), out), stream.size());
    std::fclose(out);
    std::string error;
    EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), &packets, &error))
        << error;
    return packets;
  }
};

// A cancel that arrives once a page's lines are all read: that page is not printed.
TEST_F(InProcessCancel, AfterAPagesLinesThatPageIsNotPrinted)
{
  EXPECT_TRUE(RunCancelledAfterLines(1).empty());
  const std::vector<DecodedPacket> packets = RunCancelledAfterLines(2);
  ASSERT_EQ(packets.size(), kPacketsPerPrint);
  EXPECT_EQ(packets.back().subcommand, "START");
}

// A cancel during the wait for the job information file ends the wait at once;
// the job then sends only its clock packet.
TEST_F(InProcessCancel, DuringTheWaitForTheInformationFileEndsTheWait)
{
  std::remove((root.Path() + "/var/cache/pellori/TQ-58/Print_12.log").c_str());
  const std::string path = root.Path() + "/job.ras";
  WriteRasterFile(path, {page});
  std::vector<std::string> args = {"rastertotq58", "12", "u", "t", "1", "PageSize=102x102mm FyxICM=None", path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  int sleeps = 0;
  volatile sig_atomic_t canceled = 0;
  FilterJobHooks hooks;
  hooks.cancel = &canceled;
  hooks.sleep = [&](unsigned) {
    ++sleeps;
    canceled = 1;
  };
  hooks.output = std::tmpfile();
  EXPECT_EQ(RunFilterJob(static_cast<int>(argv.size()), argv.data(), hooks), 0);
  EXPECT_EQ(sleeps, 1);
  const long written = std::ftell(hooks.output);
  std::fclose(hooks.output);
  EXPECT_EQ(written, 48);  // the clock packet alone
}

}  // namespace
