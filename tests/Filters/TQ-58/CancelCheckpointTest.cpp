// SIGTERM at the filter's cancel checkpoints, on the built rastertotq58
// process: the stream sent so far ends with whole prints and the exit code is 0.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "PacketDecoder.h"
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
    root.WriteFile("Library/Caches/Pellori/TQ-58/Print_12.log", "MEDIA_CLASS=\"0001\"\n");
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
