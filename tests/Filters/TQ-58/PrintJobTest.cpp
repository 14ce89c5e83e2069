// The print job as a library: rows handed in one by one (or a whole page
// buffer) and packets taken by a callback give the very bytes the filter
// writes for the same raster; a settings value stands for the options; the
// cancel flag in the job's setup stops it at the next row.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "FilterTestUtil.h"
#include "JobDriver.h"
#include "PrintJob.h"
#include "RasterTestUtil.h"
#include "TempRoot.h"

namespace {

constexpr std::time_t kClock = 1772442307;  // a fixed clock packet for both paths

// The callback sink: keeps the bytes and counts the finished prints.
struct Collected {
  std::string bytes;
  int prints = 0;
};

size_t Collect(void* context, const void* data, size_t length)
{
  auto* out = static_cast<Collected*>(context);
  if (data == nullptr) {
    ++out->prints;
    return 0;
  }
  out->bytes.append(static_cast<const char*>(data), length);
  return length;
}

RasterPage MakePage(unsigned width, unsigned height, unsigned copies, unsigned seed)
{
  RasterPage page;
  page.width = width;
  page.height = height;
  page.copies = copies;
  page.pixel = [seed](unsigned x, unsigned y, unsigned c) {
    return static_cast<unsigned char>((x * (7 + c) + y * 3 + seed * 41) & 255);
  };
  return page;
}

std::vector<unsigned char> Row(const RasterPage& page, unsigned y)
{
  std::vector<unsigned char> row(size_t{page.width} * 3);
  for (unsigned x = 0; x < page.width; ++x)
    for (unsigned c = 0; c < 3; ++c) row[size_t{x} * 3 + c] = page.pixel(x, y, c);
  return row;
}

class PrintJobLibrary : public ::testing::Test {
protected:
  void SetUp() override
  {
    unsetenv("PPD");  // both paths read the options alone
    root.CacheFolder();
    root.WriteFile("var/cache/pellori/TQ-58/Print_12.log", "MEDIA_CLASS=\"0001\"\n");
  }

  // The filter's whole job on a raster of pages, as rastertotq58 runs it.
  std::string FilterStream(const std::vector<RasterPage>& pages, const std::string& options)
  {
    const std::string path = root.Path() + "/job.ras";
    WriteRasterFile(path, pages);
    std::vector<std::string> args = {"rastertotq58", "12", "u", "t", "1", options, path};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    FilterJobHooks hooks;
    hooks.sleep = [](unsigned) {};
    hooks.clock = [] { return kClock; };
    hooks.output = std::tmpfile();
    EXPECT_EQ(RunFilterJob(static_cast<int>(argv.size()), argv.data(), hooks), 0);
    std::string bytes(static_cast<size_t>(std::ftell(hooks.output)), '\0');
    std::rewind(hooks.output);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), hooks.output), bytes.size());
    std::fclose(hooks.output);
    return bytes;
  }

  // The setup of a library job with the options and a callback sink.
  PrintJobSetup Setup(Options& options, Collected* out)
  {
    PrintJobSetup setup;
    setup.jobId = "12";
    setup.numOptions = options.n;
    setup.options = options.opts;
    setup.sink = Collect;
    setup.sinkContext = out;
    setup.cancel = &canceled;
    setup.clock = [] { return kClock; };
    return setup;
  }

  // Hands the pages in row by row; cancels before row cancelRow of the last
  // page (none when negative) and reports how many rows were taken.
  void AddPages(PrintJob& job, const std::vector<RasterPage>& pages, int cancelRow = -1, unsigned* taken = nullptr)
  {
    for (size_t p = 0; p < pages.size(); ++p) {
      const RasterPage& page = pages[p];
      const double points[2] = {page.width * 72.0 / 300, page.height * 72.0 / 300};
      ASSERT_EQ(job.BeginPage(page.width, page.height, page.copies, points), PageStart::kReady);
      for (unsigned y = 0; y < page.height; ++y) {
        if (p + 1 == pages.size() && static_cast<int>(y) == cancelRow) canceled = 1;
        if (taken != nullptr) *taken = y + 1;
        if (!job.AddRow(Row(page, y).data(), size_t{page.width} * 3)) break;
      }
      job.EndPage();
    }
    job.Finish();
  }

  TempRoot root;
  volatile sig_atomic_t canceled = 0;
};

// Rows one by one into a callback give the filter's stream byte for byte, for
// plain and turned pages, several copies and pages of other sizes.
TEST_F(PrintJobLibrary, RowsThroughACallbackEqualTheFilterStream)
{
  const std::vector<RasterPage> pages = {MakePage(600, 400, 2, 1), MakePage(301, 777, 1, 2)};
  for (const char* orientation : {"1", "4"}) {
    const std::string text = std::string(
                                 "PageSize=102x102mm FyxICM=None FyxBorder=Enable FyxSharpness=3 "
                                 "com.apple.print.preset.Orientation..n.=") +
                             orientation;
    Options options(text.c_str());
    Collected out;
    PrintJobSetup setup = Setup(options, &out);
    setup.orientation = std::atoi(orientation);
    {
      PrintJob job(setup);
      job.Start();
      AddPages(job, pages);
    }
    EXPECT_EQ(out.prints, 3) << orientation;
    EXPECT_GT(out.bytes.size(), 3u * 3 * 1408 * 1236);
    EXPECT_TRUE(out.bytes == FilterStream(pages, text)) << "orientation " << orientation;
  }
}

// A whole bottom-up page buffer prints as the same page handed in by rows.
TEST_F(PrintJobLibrary, PageBufferEqualsRows)
{
  const RasterPage page = MakePage(500, 300, 1, 3);
  Options options("PageSize=102x153mm FyxICM=None");
  Collected byRows, byBuffer;
  {
    PrintJob job(Setup(options, &byRows));
    job.Start();
    AddPages(job, {page});
  }
  const size_t rowBytes = PageRowBytes(page.width);
  auto* buffer = static_cast<unsigned char*>(std::calloc(page.height, rowBytes));
  for (unsigned y = 0; y < page.height; ++y)
    StoreRasterLine(buffer, rowBytes, Row(page, y).data(), size_t{page.width} * 3, page.width, page.height, y, 1);
  {
    PrintJob job(Setup(options, &byBuffer));
    job.Start();
    const double points[2] = {page.width * 72.0 / 300, page.height * 72.0 / 300};
    job.PrintPage(buffer, page.width, page.height, 1, points);
    job.Finish();
  }
  EXPECT_EQ(byBuffer.prints, 1);
  EXPECT_TRUE(byRows.bytes == byBuffer.bytes);
}

// A settings value handed in stands for the options it replaces, resolution
// and the media geometry it drives included.
TEST_F(PrintJobLibrary, SettingsValueActsAsTheOptions)
{
  const RasterPage page = MakePage(400, 500, 1, 4);
  ImageSettings settings;
  settings.resolution = 600;
  settings.resolutionMode = 2;
  settings.border = 1;
  settings.icm = 0;
  settings.sharpness = kSharpnessTable[4 + 2];
  settings.colorAdjustment = 1;
  settings.gamma[0] = settings.gamma[1] = settings.gamma[2] = 100;
  settings.contrast[1] = 30;
  Options options("PageSize=102x102mm");
  Collected out;
  PrintJobSetup setup = Setup(options, &out);
  setup.settings = &settings;
  {
    PrintJob job(setup);
    job.Start();
    AddPages(job, {page});
  }
  EXPECT_TRUE(out.bytes == FilterStream({page},
                                        "PageSize=102x102mm Resolution=600x600dpi FyxBorder=Enable "
                                        "FyxICM=None FyxSharpness=4 FyxColorAdjustment=Enable "
                                        "FyxContrastG=3"));
}

// The cancel flag in the setup stops the job at the next row: the page being
// read and every later print are dropped, earlier prints stay whole.
TEST_F(PrintJobLibrary, CancelStopsAtTheNextRow)
{
  const RasterPage first = MakePage(300, 200, 1, 5), second = MakePage(300, 200, 3, 6);
  Options options("PageSize=102x102mm FyxICM=None");
  Collected out;
  unsigned taken = 0;
  {
    PrintJob job(Setup(options, &out));
    job.Start();
    AddPages(job, {first, second}, 10, &taken);
    EXPECT_TRUE(job.IsCanceled());
  }
  EXPECT_EQ(taken, 11u);  // row 10 was the last one handed in
  EXPECT_EQ(out.prints, 1);
  EXPECT_TRUE(out.bytes == FilterStream({first}, "PageSize=102x102mm FyxICM=None"));
}

}  // namespace
