// The printer application with other peers: CUPS as its client (a queue made
// with -m everywhere in a private cupsd), PAPPL's auto-add, and the control
// socket: one left behind by an earlier server, and its removal at the end.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "AppServer.h"
#include "CupsdFixture.h"

namespace {

std::string MakeJpeg(const std::string& dir)
{
  const std::string ppm = dir + "/sample.ppm", jpg = dir + "/sample.jpg";
  EXPECT_EQ(RunProcess({TQ58_MAKE_SAMPLE_PATH, ppm, "1200", "1800"}).exitCode, 0);
  EXPECT_EQ(RunProcess({"cjpeg", "-quality", "95", "-outfile", jpg, ppm}).exitCode, 0);
  chmod(dir.c_str(), 0755);
  chmod(jpg.c_str(), 0644);
  return jpg;
}

TEST(PrinterAppClients, CupsQueueMadeWithEverywherePrintsAJpeg)
{
  AppServer server;
  ASSERT_TRUE(server.GetBus()->Plug("p1", EmulatedPrinterState{}));
  ASSERT_TRUE(server.Start()) << server.GetLog();
  ASSERT_TRUE(server.AddPrinter("p1"));
  PrivateCupsd cupsd;
  std::string error;
  ASSERT_TRUE(cupsd.Start(&error)) << error;
  const ProcessResult add =
      cupsd.Run({"lpadmin", "-p", "X", "-E", "-v", server.GetPrinterUri("p1"), "-m", "everywhere"});
  ASSERT_EQ(add.exitCode, 0) << add.out << add.err;
  const ProcessResult lp = cupsd.Run({"lp", "-d", "X", MakeJpeg(server.GetRoot().Path())});
  ASSERT_EQ(lp.exitCode, 0) << lp.err;
  EXPECT_TRUE(WaitFor(120000, [&] { return server.GetBus()->GetPrintCount("p1") == 1; }))
      << cupsd.ErrorLog() << server.GetLog();
  const std::vector<EmulatedPrint> prints = server.GetBus()->GetPrints("p1");
  ASSERT_EQ(prints.size(), 1u);
  EXPECT_EQ(prints[0].multiCut, "00000048");  // the queue's default: 4 x 6 in
  EXPECT_EQ(prints[0].planes.size(), 3u);
}

TEST(PrinterAppClients, AutoAddTakesTheTq58OnlyWhileTheStatusDaemonIsNotRunning)
{
  AppServer server;
  ASSERT_TRUE(server.GetBus()->Plug("p1", EmulatedPrinterState{}));
  EmulatedPrinterState other;
  other.deviceId = "MFG:Other;MDL:Printer;CLS:PRINTER;";
  ASSERT_TRUE(server.GetBus()->Plug("p2", other));
  // A process named infotq58 below TQ58_ROOT's /proc.
  server.GetRoot().WriteFile("proc/4242/comm", "infotq58\n");
  ASSERT_TRUE(server.Start()) << server.GetLog();
  EXPECT_NE(server.GetLog().find("infotq58 runs"), std::string::npos) << server.GetLog();
  server.Run({"autoadd"});
  EXPECT_NE(server.GetLog().find("'tq58emu://bus/p1' is left to its CUPS queue"), std::string::npos);
  EXPECT_EQ(server.Run({"printers"}).out, "");
  std::filesystem::remove_all(server.GetRoot().Path() + "/proc");
  const ProcessResult autoadd = server.Run({"autoadd"});
  EXPECT_EQ(autoadd.exitCode, 0) << autoadd.err;
  const std::string printers = server.Run({"printers"}).out;
  EXPECT_NE(printers, "") << server.GetLog();
  EXPECT_EQ(printers.find('\n'), printers.size() - 1) << printers;  // one printer: the TQ-58
}

TEST(PrinterAppClients, ControlSocketLeftBehindIsReplaced)
{
  AppServer server;
  // A socket nobody listens on, where the server's control socket goes.
  const std::string path = server.GetRoot().Path() + "/app/tq58-printer-app.sock";
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  ASSERT_TRUE(server.GetBus()->Plug("p1", EmulatedPrinterState{}));
  ASSERT_TRUE(server.Start()) << server.GetLog();
  EXPECT_TRUE(server.AddPrinter("p1")) << server.GetLog();
  EXPECT_EQ(server.Run({"printers"}).out, "p1\n");
}

// "devices" lists the printers the application serves (here the emulated
// one) and nothing it cannot serve; it needs no Avahi daemon (PAPPL's own
// DNS-SD listing aborts without one).
TEST(PrinterAppClients, DevicesListsTheEmulatedPrinter)
{
  AppServer server;
  ASSERT_TRUE(server.GetBus()->Plug("p1", EmulatedPrinterState{}));
  const ProcessResult devices = server.Run({"devices"});
  EXPECT_EQ(devices.exitCode, 0) << devices.err;
  EXPECT_EQ(devices.out, "tq58emu://bus/p1\n") << devices.err;
}

// A server that ends (SIGTERM: systemd's stop, which follows the unit's
// "shutdown" at once) takes its control socket with it, so the next server
// can listen there. ("shutdown" alone ends the server only at PAPPL's next
// wake-up, up to half a minute later.)
TEST(PrinterAppClients, ControlSocketIsRemovedWhenTheServerEnds)
{
  AppServer server;
  const std::string path = server.GetRoot().Path() + "/app/tq58-printer-app.sock";
  ASSERT_TRUE(server.Start()) << server.GetLog();
  EXPECT_EQ(server.Stop(SIGTERM), 0) << server.GetLog();
  EXPECT_NE(access(path.c_str(), F_OK), 0) << "the control socket is left behind";
}

}  // namespace
