// The printer's web page in a real browser (headless Chromium): the state,
// the status message, the prints left and the total count; a screenshot of
// it is copied to TQ58_SCREENSHOT_OUT when that is set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "AppServer.h"

namespace {

bool HasProgram(const char* name)
{
  return RunProcess({"sh", "-c", std::string("command -v ") + name}).exitCode == 0;
}

TEST(PrinterAppWebPage, BrowserShowsTheStateAndThePrintsLeft)
{
  if (!HasProgram("chromium")) GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
  AppServer server;
  EmulatedPrinterState state;
  state.status = 1100;
  state.mediaRemain = 0;
  state.totalCount = 1234;
  ASSERT_TRUE(server.GetBus()->Plug("p1", state));
  ASSERT_TRUE(server.Start()) << server.GetLog();
  ASSERT_TRUE(server.AddPrinter("p1"));
  ippDelete(server.GetPrinterAttributes("p1"));  // the status callback reads the printer
  const std::string home = server.GetRoot().Path() + "/browser";
  std::filesystem::create_directories(home);
  const std::string page = "http://localhost:" + std::to_string(server.GetPort()) + "/p1/counters";
  // A browser that hangs is stopped: the test fails instead of waiting.
  const std::vector<std::string> browser = {"timeout",
                                            "120",
                                            "chromium",
                                            "--headless",
                                            "--no-sandbox",
                                            "--disable-gpu",
                                            "--user-data-dir=" + home,
                                            "--window-size=1000,700"};
  std::vector<std::string> dump = browser;
  dump.insert(dump.end(), {"--dump-dom", page});
  const ProcessResult dom = RunProcess(dump, "", {"HOME=" + home});
  ASSERT_EQ(dom.exitCode, 0) << dom.err;
  EXPECT_NE(dom.out.find("out of paper"), std::string::npos) << dom.out;
  EXPECT_NE(dom.out.find("<th>Prints left</th><td>0</td>"), std::string::npos) << dom.out;
  EXPECT_NE(dom.out.find("<th>Total prints</th><td>1234</td>"), std::string::npos) << dom.out;
  EXPECT_NE(dom.out.find("<th>State</th><td>idle (media-empty)</td>"), std::string::npos) << dom.out;
  const std::string shot = home + "/printer-page.png";
  std::vector<std::string> capture = browser;
  capture.insert(capture.end(), {"--screenshot=" + shot, page});
  ASSERT_EQ(RunProcess(capture, "", {"HOME=" + home}).exitCode, 0);
  ASSERT_TRUE(std::filesystem::file_size(shot) > 0);
  // For the README: copied where the caller asks.
  if (const char* out = std::getenv("TQ58_SCREENSHOT_OUT"))
    std::filesystem::copy_file(shot, out, std::filesystem::copy_options::overwrite_existing);
}

}  // namespace
