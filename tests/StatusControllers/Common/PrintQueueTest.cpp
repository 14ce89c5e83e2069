#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModelTQ58.h"
#include "PrintQueue.h"
#include "TempRoot.h"

namespace {

const QueueModel& kModel = kQueueModelTQ58;
const std::string kUri = "fyxbackend://PELLORI%20SYSTEMS/TQ-58?serial=";

int Choose(const std::vector<std::string>& names, const char* serial = "S1")
{
  std::vector<QueuePrinter> printers;
  for (const std::string& n : names) printers.push_back({n, "ipp://elsewhere/" + n});
  return ChooseQueueNumber(kModel, printers, serial);
}

class FakePlatform final : public QueuePlatform {
public:
  bool IsQueueRegistered(const QueueModel&, const char*) override { return registered; }
  bool GetPrinterList(std::vector<QueuePrinter>* list) override
  {
    *list = printers;
    return listOk;
  }
  int RunCommand(const std::vector<std::string>& argv) override
  {
    commands.push_back(argv);
    return 1;  // lpadmin failed: the flag is set all the same
  }
  bool registered = false, listOk = true;
  std::vector<QueuePrinter> printers;
  std::vector<std::vector<std::string>> commands;
};

}  // namespace

TEST(PrintQueueTest, UriMatchesOnlyTheWholeSerialText)
{
  EXPECT_TRUE(IsQueueForSerial(kModel, (kUri + "AB%2012").c_str(), "AB%2012"));
  EXPECT_FALSE(IsQueueForSerial(kModel, (kUri + "AB%20123").c_str(), "AB%2012"));
  EXPECT_FALSE(IsQueueForSerial(kModel, (kUri + "AB").c_str(), "AB%2012"));
  EXPECT_FALSE(IsQueueForSerial(kModel, kUri.c_str(), ""));  // nothing after "serial="
  EXPECT_FALSE(IsQueueForSerial(kModel, "usb://PELLORI/TQ-58?serial=S", "S"));
  EXPECT_FALSE(IsQueueForSerial(kModel, "fyxbackend://PELLORI/TQ-59?serial=S", "S"));
  EXPECT_FALSE(IsQueueForSerial(kModel, nullptr, "S"));
}

TEST(PrintQueueTest, NumberingTakesTheLowestFreeNumber)
{
  EXPECT_EQ(Choose({}), 0);
  EXPECT_EQ(Choose({"Office_Laser", "Photo"}), 0);  // only other models
  EXPECT_EQ(Choose({"PELLORI_SYSTEMS_TQ_58"}), 2);
  EXPECT_EQ(Choose({"PELLORI_SYSTEMS_TQ_58", "PELLORI_SYSTEMS_TQ_58_2"}), 3);
  EXPECT_EQ(Choose({"PELLORI_SYSTEMS_TQ_58_3", "PELLORI_SYSTEMS_TQ_58"}), 2);  // the gap
  EXPECT_EQ(Choose({"pellori_systems_tq_58", "Pellori_Systems_TQ_58_2"}), 3);  // any case
  EXPECT_EQ(Choose({"PELLORI_SYSTEMS_TQ_58_x"}), 1);                           // a letter counts as 0, so 1 is free
  EXPECT_EQ(Choose({"PELLORI_SYSTEMS_TQ_58_2"}), 1);
}

TEST(PrintQueueTest, OnlyAQueueWithExactlyThisSerialTextIsThePrintersOwn)
{
  // "S1" inside other printers' URIs: their queues are theirs, a new number is taken.
  std::vector<QueuePrinter> printers = {{"PELLORI_SYSTEMS_TQ_58", kUri + "S1X"},
                                        {"PELLORI_SYSTEMS_TQ_58_2", kUri + "XS1"},
                                        {"Office", "ipp://S1/ipp/print"}};
  EXPECT_EQ(ChooseQueueNumber(kModel, printers, "S1"), 3);
  EXPECT_EQ(ChooseQueueNumber(kModel, printers, "S"), 3);
  // A queue of its own under any name: nothing to make.
  printers.push_back({"MyPrinter", kUri + "S1"});
  EXPECT_EQ(ChooseQueueNumber(kModel, printers, "S1"), kQueueExists);
  EXPECT_EQ(ChooseQueueNumber(kModel, printers, "S1X"), kQueueExists);
  EXPECT_EQ(ChooseQueueNumber(kModel, printers, ""), 3);
}

TEST(PrintQueueTest, LpadminArgumentsKeepTheSerialOneArgument)
{
  const char* serial = "x;touch${IFS}pwned";
  EXPECT_EQ(
      MakeLpadminArgs(kModel, 0, serial),
      (std::vector<std::string>{"lpadmin", "-p", "PELLORI_SYSTEMS_TQ_58", "-E", "-D", "PELLORI SYSTEMS TQ-58", "-m",
                                "pellori/TQ-58.ppd.gz", "-v", kUri + serial, "-o", "printer-is-shared=false"}));
  const std::vector<std::string> numbered = MakeLpadminArgs(kModel, 2, "S");
  EXPECT_EQ(numbered[2], "PELLORI_SYSTEMS_TQ_58_2");
  EXPECT_EQ(numbered[5], "PELLORI SYSTEMS TQ-58 2");
}

TEST(PrintQueueTest, StepSetsTheFlagOnceAQueueExistsOrWasAskedFor)
{
  TempRoot root;
  FakePlatform platform;
  thdata rec;
  std::snprintf(rec.serialNo, sizeof rec.serialNo, "S1");

  platform.listOk = false;  // no printer list: try again at the next pass
  RunQueueStep(&rec, kModel, &platform);
  EXPECT_FALSE(rec.queueRegistered);
  EXPECT_TRUE(platform.commands.empty());

  platform.listOk = true;
  platform.printers = {{"PELLORI_SYSTEMS_TQ_58", kUri + "S0"}};
  RunQueueStep(&rec, kModel, &platform);
  EXPECT_TRUE(rec.queueRegistered);
  ASSERT_EQ(platform.commands.size(), 1u);
  EXPECT_EQ(platform.commands[0][2], "PELLORI_SYSTEMS_TQ_58_2");
  // The model name, whatever TQ58_ROOT says: the scheduler finds the PPD in its model folders.
  EXPECT_EQ(platform.commands[0][6], "-m");
  EXPECT_EQ(platform.commands[0][7], "pellori/TQ-58.ppd.gz");

  // A queue of its own that the destinations did not show yet: no command.
  rec.queueRegistered = false;
  platform.printers.push_back({"PELLORI_SYSTEMS_TQ_58_2", kUri + "S1"});
  RunQueueStep(&rec, kModel, &platform);
  EXPECT_TRUE(rec.queueRegistered);
  EXPECT_EQ(platform.commands.size(), 1u);

  rec.queueRegistered = false;
  platform.registered = true;
  RunQueueStep(&rec, kModel, &platform);
  EXPECT_TRUE(rec.queueRegistered);
  EXPECT_EQ(platform.commands.size(), 1u);
}
