// Queues and information files made by the running daemon.
#include <filesystem>
#include <string>

#include "InfoTq58Fixture.h"

TEST_F(InfoTq58Test, PrinterPluggedBeforeTheStartGetsItsQueueAndFile)
{
  Plug("p1", "AB 12");
  StartDaemon();
  ASSERT_TRUE(WaitForQueue(kBaseQueue, kTestUri + "AB%2012", 5000)) << DaemonOutput();
  ASSERT_TRUE(WaitForInfo("AB%2012", "MODEL", "TQ-58", 3000));
  const std::string text = ReadText(InfoFile("AB%2012"));
  EXPECT_EQ(LineCount(text), 16);
  EXPECT_EQ(text.rfind("#PRINTER_INFORMATION\nMODEL=\"TQ-58\"\nPRINTER_STATUS=\"00000\"\n", 0), 0u) << text;
  // The filter finds the file through the queue.
  char serial[64] = {};
  ASSERT_EQ(_GetValuePrinterInfoFile(kBaseQueue.c_str(), "PRINTER_SERIAL_NO=", "TQ-58", serial, sizeof serial), 0);
  EXPECT_STREQ(serial, "AB%2012");
  // The queue was made with the model's PPD, by its model name (no PPD file
  // lies below TQ58_ROOT), is not shared and takes jobs.
  EXPECT_FALSE(std::filesystem::exists(TQ58_FixedPath(kQueueModelTQ58.ppdPath)));
  EXPECT_EQ(ReadText(cupsd_.Root() + "/conf/ppd/" + kBaseQueue + ".ppd"),
            ReadText(TQ58_SOURCE_DIR "/packaging/ppd/TQ-58.ppd"));
  const ProcessResult lpstat = cupsd_.Run({"lpstat", "-a", kBaseQueue});
  EXPECT_NE(lpstat.out.find("accepting requests"), std::string::npos) << lpstat.out << lpstat.err;
  EXPECT_NE(DaemonOutput().find("serial AB%2012\n"), std::string::npos);
}

TEST_F(InfoTq58Test, PrinterPluggedAfterTheStartGetsItsQueue)
{
  StartDaemon();
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(root_.CacheFolder(false)); }, 3000));
  Plug("p1", "LATE1");
  ASSERT_TRUE(WaitForQueue(kBaseQueue, kTestUri + "LATE1", 5000)) << DaemonOutput();
  EXPECT_TRUE(WaitForInfo("LATE1", "PRINTER_SERIAL_NO", "LATE1", 3000));
}

TEST_F(InfoTq58Test, TwoPrintersGetTwoQueuesAndEachKeepsItsOwnFile)
{
  Plug("p1", "S1");
  Plug("p2", "S2");
  StartDaemon();
  ASSERT_TRUE(WaitUntil([&] { return !QueueUri(kBaseQueue).empty() && !QueueUri(kBaseQueue + "_2").empty(); }, 6000))
      << DaemonOutput();
  // Both plugged in together, yet two names.
  const std::string first = QueueUri(kBaseQueue), second = QueueUri(kBaseQueue + "_2");
  EXPECT_TRUE((first == kTestUri + "S1" && second == kTestUri + "S2") ||
              (first == kTestUri + "S2" && second == kTestUri + "S1"))
      << first << " " << second;
  ASSERT_TRUE(WaitForInfo("S1", "MODEL", "TQ-58", 3000));
  ASSERT_TRUE(WaitForInfo("S2", "MODEL", "TQ-58", 3000));

  Touch("S2", "_UTIL");
  ASSERT_TRUE(emulator_->Unplug("p1"));
  ASSERT_TRUE(WaitForInfo("S1", "PRINTER_STATUS", "99999", 4000));
  EXPECT_EQ(Info("S1", "MODEL"), "");
  EXPECT_EQ(Info("S1", "PRINTER_MESSAGE"), "00006");
  emulator_->Update("p2", [](EmulatedPrinterState& s) { s.status = 1000; });
  EXPECT_TRUE(WaitForInfo("S2", "PRINTER_STATUS", "01000", 3000));
  EXPECT_EQ(Info("S2", "PRINTER_MESSAGE"), "00100");
}

TEST_F(InfoTq58Test, NewQueueTakesTheLowestFreeNumber)
{
  AddQueue(kBaseQueue, kTestUri + "OLD1");
  AddQueue(kBaseQueue + "_3", kTestUri + "OLD3");
  Plug("p1", "NEW2");
  StartDaemon();
  ASSERT_TRUE(WaitForQueue(kBaseQueue + "_2", kTestUri + "NEW2", 5000)) << DaemonOutput();
  EXPECT_EQ(QueueUri(kBaseQueue), kTestUri + "OLD1");
  EXPECT_EQ(QueueUri(kBaseQueue + "_3"), kTestUri + "OLD3");
}

TEST_F(InfoTq58Test, SerialTextInsideAnotherPrintersUriGetsAQueueOfItsOwn)
{
  Plug("p1", "SER1");
  StartDaemon();
  ASSERT_TRUE(WaitForQueue(kBaseQueue, kTestUri + "SER1", 5000)) << DaemonOutput();
  // "SER" is part of SER1's URI, yet SER1's queue is not SER's.
  Plug("p2", "SER");
  ASSERT_TRUE(WaitForQueue(kBaseQueue + "_2", kTestUri + "SER", 5000)) << DaemonOutput();
  EXPECT_EQ(QueueUri(kBaseQueue), kTestUri + "SER1");
}

TEST_F(InfoTq58Test, ExistingQueueIsKeptAndSigintEndsTheDaemonCleanly)
{
  AddQueue("MyPhotoPrinter", kTestUri + "KEEP");
  Plug("p1", "KEEP");
  StartDaemon();
  ASSERT_TRUE(WaitForInfo("KEEP", "MODEL", "TQ-58", 5000));
  EXPECT_EQ(QueueUri(kBaseQueue), "");
  EXPECT_EQ(daemon_.Stop(SIGINT), 0);
}

TEST_F(InfoTq58Test, SerialFromThePrinterReachesNoShellAndNoOtherFolder)
{
  // A shell would run "cd;touch pwned" in the daemon's home.
  const std::string serial = "x;cd;touch${IFS}pwned;$(cd;touch${IFS}pw2)`cd;touch${IFS}pw3`";
  Plug("p1", serial);
  Plug("p2", "../../../../tmp/tq58-escape");  // refused: it would name a file elsewhere
  StartDaemon();
  ASSERT_TRUE(WaitForInfo(serial, "PRINTER_SERIAL_NO", serial, 5000)) << DaemonOutput();
  // lpadmin ran, with the serial text as it stands, before the file was written.
  EXPECT_EQ(QueueUri(kBaseQueue), kTestUri + serial);
  EXPECT_TRUE(std::filesystem::is_empty(home_)) << "something ran in the daemon's home";
  EXPECT_FALSE(std::filesystem::exists("/tmp/tq58-escape.log"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root_.Path())) {
    const std::string path = entry.path().string();
    if (path.find("/var/cache/pellori/TQ-58/") != std::string::npos) {
      EXPECT_EQ(entry.path().parent_path().string(), root_.CacheFolder(false));
      EXPECT_EQ(entry.path().filename().string().find("tq58-escape"), std::string::npos);
    }
  }
  EXPECT_NE(DaemonOutput().find("serial " + serial + "\n"), std::string::npos);
}
