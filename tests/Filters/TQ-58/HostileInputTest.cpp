// What another local user may put in the filter's way, on the built
// rastertotq58 process: a fifo or a link where the job information file or the
// ICC profile should be, a cancel while the filter waits, and numeric options
// at the ends of the integer range. The job must never wait on a fifo, spin on
// a device or reach undefined arithmetic; it goes on or ends at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PacketDecoder.h"
#include "RasterTestUtil.h"
#include "TempRoot.h"

namespace {

constexpr int kPollMs = 10;
constexpr int kMaxPolls = 3000;  // 30 s: far beyond a whole job; a stalled filter never ends
const char* const kIccFolder = "/usr/share/color/icc/colord/";

struct JobResult {
  bool ended = false;  // exited or was killed by a signal of its own before the bound
  int exitCode = -1;
  std::string out, err;
};

std::string ReadAll(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Polls until the process has ended; past the bound it is killed and false returned.
bool WaitEnded(pid_t pid, int* status)
{
  for (int i = 0; i < kMaxPolls; ++i) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    usleep(kPollMs * 1000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, status, 0);
  return false;
}

// Polls /proc until the process catches SIGTERM (its handler is installed).
bool WaitCatchesSigterm(pid_t pid)
{
  const unsigned long long bit = 1ull << (SIGTERM - 1);
  for (int i = 0; i < kMaxPolls; ++i) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit) != 0) return true;
    }
    usleep(kPollMs * 1000);
  }
  return false;
}

class HostileInput : public ::testing::Test {
protected:
  void SetUp() override
  {
    cache = root.CacheFolder();
    // Two profiles that print a red page differently: PD keeps it red, SD turns it green.
    const std::string profiles = root.Path() + "/usr/share/color/icc/pellori";
    std::filesystem::create_directories(profiles);
    std::filesystem::copy_file(std::string(kIccFolder) + "sRGB.icc", profiles + "/PD_TQ58_0100.icc");
    std::filesystem::copy_file(std::string(kIccFolder) + "SwappedRedAndGreen.icc", profiles + "/SD_TQ58_0100.icc");
    RasterPage page;
    page.width = 120;
    page.height = 80;
    page.pixel = [](unsigned x, unsigned y, unsigned c) {
      return static_cast<unsigned char>(c == 0 ? 255 - y : (x * 7 + y * 3 + c * 50) & 127);
    };
    raster = root.Path() + "/job.ras";
    WriteRasterFile(raster, {page});
  }

  // Starts job 12 with options; its input is the raster file, or inputFd when
  // that is not -1. Output and errors go to files of the temporary root.
  pid_t Start(const std::string& options, int inputFd = -1)
  {
    const std::string out = root.Path() + "/out", err = root.Path() + "/err";
    const std::string jobOptions = "PageSize=102x102mm " + options;
    const char* file = inputFd != -1 ? nullptr : raster.c_str();
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(inputFd != -1 ? inputFd : open("/dev/null", O_RDONLY), 0);
      dup2(o, 1);
      dup2(e, 2);
      execl(TQ58_FILTER_PATH, "rastertotq58", "12", "u", "t", "1", jobOptions.c_str(), file, nullptr);
      _exit(127);
    }
    return pid;
  }

  JobResult Finish(pid_t pid)
  {
    JobResult job;
    int status = 0;
    job.ended = WaitEnded(pid, &status);
    if (WIFEXITED(status)) job.exitCode = WEXITSTATUS(status);
    job.out = ReadAll(root.Path() + "/out");
    job.err = ReadAll(root.Path() + "/err");
    return job;
  }

  JobResult Run(const std::string& options) { return Finish(Start(options)); }

  // Makes a fifo at path; no one ever opens its other end.
  void MakeFifo(const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0666), 0) << path; }

  void WriteJobFile(const std::string& text) { root.WriteFile("var/cache/pellori/TQ-58/Print_12.log", text); }

  TempRoot root;
  std::string cache, raster;
};

// The stream without its clock packet (whose time differs from run to run):
// the settings and the print.
std::string Print(const JobResult& job)
{
  std::vector<DecodedPacket> packets;
  std::string error;
  EXPECT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(job.out.data()), job.out.size(), &packets, &error))
      << error;
  if (packets.size() != 11 || packets.front().subcommand != "SET_SYS_TIME" || packets.back().subcommand != "START") {
    ADD_FAILURE() << "not one whole print: " << packets.size() << " packets";
    return std::string();
  }
  return job.out.substr(packets[1].offset);
}

void ExpectPrinted(const JobResult& job)
{
  EXPECT_TRUE(job.ended) << "the filter did not end";
  EXPECT_EQ(job.exitCode, 0);
  EXPECT_EQ(job.err, "");
}

// A fifo at the job information file's name: the filter neither waits on it
// nor takes it for the file, and prints with the default (PD) profile.
TEST_F(HostileInput, FifoAsJobInformationFileDoesNotHoldTheJob)
{
  WriteJobFile("MEDIA_CLASS=\"0002\"\n");
  const JobResult pd = Run("");
  ExpectPrinted(pd);
  std::remove((cache + "/Print_12.log").c_str());
  MakeFifo(cache + "/Print_12.log");
  const JobResult job = Run("");
  ExpectPrinted(job);
  EXPECT_TRUE(Print(job) == Print(pd)) << "not the PD print";
}

// Links at the job information file's name are never followed: one to
// /dev/zero neither spins nor stalls, one to a real job file with the SD
// class is not taken for it; both jobs print with the PD profile.
TEST_F(HostileInput, LinksAtTheJobInformationFileAreNotFollowed)
{
  WriteJobFile("MEDIA_CLASS=\"0001\"\n");
  const JobResult sd = Run("");
  ExpectPrinted(sd);
  WriteJobFile("MEDIA_CLASS=\"0002\"\n");
  const JobResult pd = Run("");
  ExpectPrinted(pd);
  ASSERT_TRUE(Print(sd) != Print(pd)) << "the two profiles must print differently";

  const std::string sdFile = root.WriteFile("elsewhere/Print_12.log", "MEDIA_CLASS=\"0001\"\n");
  for (const std::string& target : {std::string("/dev/zero"), sdFile}) {
    std::remove((cache + "/Print_12.log").c_str());
    ASSERT_EQ(symlink(target.c_str(), (cache + "/Print_12.log").c_str()), 0);
    const JobResult job = Run("");
    ExpectPrinted(job);
    EXPECT_TRUE(Print(job) == Print(pd)) << "not the PD print with a link to " << target;
  }
}

// A job information file planted by another user (the cache folder is
// writable by all) does not choose the job's colour profile.
TEST_F(HostileInput, AnotherUsersJobInformationFileIsNotTaken)
{
  WriteJobFile("MEDIA_CLASS=\"0002\"\n");
  const JobResult pd = Run("");
  ExpectPrinted(pd);
  WriteJobFile("MEDIA_CLASS=\"0001\"\n");
  const JobResult sd = Run("");
  ExpectPrinted(sd);
  ASSERT_TRUE(Print(sd) != Print(pd)) << "the two profiles must print differently";

  ASSERT_EQ(chown((cache + "/Print_12.log").c_str(), 65534, 65534), 0);
  const JobResult planted = Run("");
  ExpectPrinted(planted);
  EXPECT_TRUE(Print(planted) == Print(pd)) << "a planted SD class was taken";
}

// A fifo named as the ICC profile is no profile: the page is printed without
// colour matching, as with matching switched off.
TEST_F(HostileInput, FifoAsProfileDoesNotHoldTheJob)
{
  WriteJobFile("MEDIA_CLASS=\"0001\"\n");
  const JobResult plain = Run("FyxICM=None");
  ExpectPrinted(plain);
  MakeFifo(root.Path() + "/profile.icc");
  const JobResult job = Run("FyxICCProfile=" + root.Path() + "/profile.icc");
  ExpectPrinted(job);
  EXPECT_TRUE(Print(job) == Print(plain)) << "not the print without colour matching";
}

// SIGTERM while the filter waits for a job information file that never comes,
// its input still open and silent: the job ends with only its clock packet
// sent and exit code 0, long before the two-minute wait or any input.
TEST_F(HostileInput, SigtermDuringTheWaitEndsTheJob)
{
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  const pid_t pid = Start("FyxICM=None", input[0]);
  close(input[0]);
  ASSERT_TRUE(WaitCatchesSigterm(pid));
  kill(pid, SIGTERM);
  const JobResult job = Finish(pid);
  close(input[1]);
  EXPECT_TRUE(job.ended) << "the filter did not end after SIGTERM";
  EXPECT_EQ(job.exitCode, 0);
  std::vector<DecodedPacket> packets;
  std::string error;
  ASSERT_TRUE(TQ58_SplitPackets(reinterpret_cast<const uint8_t*>(job.out.data()), job.out.size(), &packets, &error));
  ASSERT_EQ(packets.size(), 1u);
  EXPECT_EQ(packets[0].subcommand, "SET_SYS_TIME");
}

// Numeric options at and beyond the ends of the integer range print as the
// largest values whose arithmetic is defined (beyond what the image steps
// accept, so they change nothing). In the sanitizer build an overflow would
// end the filter with a report on standard error.
TEST_F(HostileInput, ExtremeNumericOptionsActLikeTheirLargestDefinedNeighbours)
{
  WriteJobFile("MEDIA_CLASS=\"0002\"\n");
  const std::string common = "FyxICM=None FyxColorAdjustment=Enable ";
  const std::pair<std::string, std::string> cases[] = {
      {"FyxBrightness=2147483647 FyxContrast=2147483647 FyxChroma=2147483647 FyxGamma=2147483647 "
       "FyxSharpness=2147483647",
       "FyxBrightness=1000000 FyxContrast=1000000 FyxChroma=1000000 FyxGamma=2400 FyxSharpness=9"},
      {"FyxBrightness=-2147483648 FyxContrast=-2147483648 FyxChroma=-2147483648 FyxGamma=-2147483648 "
       "FyxSharpness=-2147483648",
       "FyxBrightness=-1000000 FyxContrast=-1000000 FyxChroma=-1000000 FyxGamma=-100000 FyxSharpness=-3"},
      {"FyxBrightnessR=99999999999 FyxBrightnessG=-99999999999 FyxBrightnessB=2147483647 "
       "FyxContrastR=99999999999 FyxContrastG=-2147483648 FyxContrastB=7 "
       "FyxGammaR=99999999999 FyxGammaG=30 FyxGammaB=-99999999999 FyxChroma=-99999999999",
       "FyxBrightnessR=1000000 FyxBrightnessG=-1000000 FyxBrightnessB=1000000 "
       "FyxContrastR=1000000 FyxContrastG=-1000000 FyxContrastB=7 "
       "FyxGammaR=2400 FyxGammaG=30 FyxGammaB=-100000 FyxChroma=-1000000"},
  };
  const JobResult untouched = Run(common);
  ExpectPrinted(untouched);
  for (const auto& [extreme, neighbour] : cases) {
    const JobResult job = Run(common + extreme);
    ExpectPrinted(job);
    const JobResult reference = Run(common + neighbour);
    ExpectPrinted(reference);
    EXPECT_TRUE(Print(job) == Print(reference)) << "prints differ: " << extreme;
  }
  // The per-channel case does change the picture (contrast 7 and gamma 30 are in range).
  EXPECT_TRUE(Print(Run(common + cases[2].second)) != Print(untouched));
}

}  // namespace
