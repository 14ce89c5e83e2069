#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EmulatedBusFixture.h"
#include "PhotoPrinterIF.h"
#include "UsbExchange.h"

namespace {

class UsbExchangeTest : public EmulatedBusTest {
protected:
  // One variable-length exchange of INFO FVER; the reply text goes to *text.
  int Exchange(std::string* text = nullptr, int length = -1, const char* name = "INFO", const char* sub = "FVER")
  {
    DeviceCmd command;
    command.MakeCmd(name, sub, -1, nullptr);
    DeviceRecv response(length, nullptr);
    const int result = DeviceIO(intf_.get(), command, &response);
    char buffer[64] = "";
    if (result == 0) response.GetEffectiveDataAsString(buffer, sizeof buffer);
    if (text != nullptr) *text = buffer;
    command.Free();
    return result;
  }
  // A fresh connection, so that bytes a bad reply left behind are gone. The
  // old one is closed first: it holds the claim.
  void Reconnect()
  {
    intf_.reset();
    intf_ = OpenPrinter("p1");
  }

  // Sizes of the bulk writes deviceWrite makes for a packet of size bytes.
  std::vector<int> ChunksOf(int size)
  {
    std::vector<unsigned char> payload(static_cast<size_t>(size - 32), 'x');
    DeviceCmd packet;
    EXPECT_EQ(packet.MakeCmd("IMAGE", "YPLANE", size - 32, payload.data()), 0);
    RecordingInterface spy(intf_.get());
    EXPECT_EQ(deviceWrite(&spy, packet), 0);
    packet.Free();
    std::vector<int> sizes;
    for (const auto& t : spy.transfers) sizes.push_back(t.size);
    return sizes;
  }
};

TEST_F(UsbExchangeTest, StatusReplyOfFiveDigitsPasses)
{
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.status = 1000; }));
  std::string text;
  EXPECT_EQ(Exchange(&text, 8, "STATUS", nullptr), 0);
  EXPECT_EQ(text, "01000");
  EXPECT_EQ(GetStatus(intf_.get()), 1000);
}

TEST_F(UsbExchangeTest, MalformedLengthFieldsFailWith3)
{
  const EmulatorFault faults[] = {EmulatorFault::LetterInLength, EmulatorFault::ZeroLength,
                                  EmulatorFault::OverlongLength};
  for (EmulatorFault fault : faults) {
    InjectFault(fault);
    EXPECT_EQ(Exchange(), 3) << "variable reply, fault " << static_cast<int>(fault);
    InjectFault(fault);
    EXPECT_EQ(Exchange(nullptr, 8, "STATUS", nullptr), 3) << "status reply, fault " << static_cast<int>(fault);
  }
  InjectFault(EmulatorFault::RawReply, "", 0, "0000000\xB5");
  EXPECT_EQ(Exchange(), 3);
  InjectFault(EmulatorFault::RawReply, "", 0, "00000009123456789");  // one byte too long for a status
  EXPECT_EQ(Exchange(nullptr, 8, "STATUS", nullptr), 3);
  Reconnect();
  EXPECT_EQ(Exchange(), 0);
}

TEST_F(UsbExchangeTest, ReplyTextStopsAtCarriageReturn)
{
  SetReply("FVER", "ABC\rXYZ");
  std::string text;
  EXPECT_EQ(Exchange(&text), 0);
  EXPECT_EQ(text, "ABC");
  InjectFault(EmulatorFault::NoCarriageReturn);
  SetReply("FVER", "1.23\r");
  EXPECT_EQ(Exchange(&text), 0);
  EXPECT_EQ(text, "1.23");
}

TEST_F(UsbExchangeTest, LongWritesEndWithATailChunk)
{
  EXPECT_EQ(ChunksOf(32), (std::vector<int>{32}));
  EXPECT_EQ(ChunksOf(511), (std::vector<int>{511}));
  EXPECT_EQ(ChunksOf(512), (std::vector<int>{256, 256}));
  EXPECT_EQ(ChunksOf(1000), (std::vector<int>{744, 256}));
  EXPECT_EQ(ChunksOf(70000), (std::vector<int>{65536, 4208, 256}));
  // The printer got each packet whole.
  EXPECT_EQ(Exchange(), 0);
  const auto log = emulator_->GetCommandLog("p1");
  EXPECT_EQ(std::count(log.begin(), log.end(), "IMAGE YPLANE"), 5);
}

TEST_F(UsbExchangeTest, ExchangeUsesTheTransferTimeOuts)
{
  RecordingInterface spy(intf_.get());
  DeviceCmd command;
  command.MakeCmd("INFO", "FVER", -1, nullptr);
  DeviceRecv response(-1, nullptr);
  ASSERT_EQ(DeviceIO(&spy, command, &response), 0);
  command.Free();
  ASSERT_EQ(spy.transfers.size(), 3u);
  EXPECT_TRUE(spy.transfers[0].write);
  EXPECT_EQ(spy.transfers[0].timeoutMs, 1000u);
  EXPECT_EQ(spy.transfers[1].size, 8);
  EXPECT_EQ(spy.transfers[1].timeoutMs, 10000u);
  EXPECT_EQ(spy.transfers[2].size, 5);  // "1.00\r"
  EXPECT_EQ(spy.transfers[2].timeoutMs, 10000u);
}

TEST_F(UsbExchangeTest, MissingOrLateRepliesTimeOut)
{
  InjectFault(EmulatorFault::NoReply);
  EXPECT_EQ(Exchange(), 3);
  InjectFault(EmulatorFault::SlowReply, "", kShortTimeoutMs / 6);
  std::string text;
  EXPECT_EQ(Exchange(&text), 0);
  EXPECT_EQ(text, "1.00");
  InjectFault(EmulatorFault::SlowReply, "STATUS", kShortTimeoutMs * 3);
  EXPECT_EQ(GetStatus(intf_.get()), kStatusFailed);
}

TEST_F(UsbExchangeTest, DataCutShortByTimeOutEndsAtTheMissingBytes)
{
  InjectFault(EmulatorFault::RawReply, "", 0, "00000010ABC");
  std::string text;
  EXPECT_EQ(Exchange(&text), 0);
  EXPECT_EQ(text, "ABC");
}

TEST_F(UsbExchangeTest, VanishedPrinterFailsWith1)
{
  InjectFault(EmulatorFault::DropConnection);
  EXPECT_EQ(Exchange(), 1);
  Reconnect();
  ASSERT_NE(intf_, nullptr);
  EXPECT_EQ(Exchange(), 0);
  ASSERT_TRUE(emulator_->Unplug("p1"));
  EXPECT_EQ(Exchange(), 1);
  EXPECT_EQ(GetStatus(intf_.get()), kStatusFailed);
  EXPECT_EQ(OpenPrinter("p1"), nullptr);
}

TEST_F(UsbExchangeTest, BadArgumentsAreRefused)
{
  const unsigned char byte = 0;
  DeviceCmd unbuilt;
  DeviceRecv response(-1, nullptr);
  unsigned char buffer[16];
  EXPECT_EQ(deviceWrite(nullptr, &byte, 1), 3);
  EXPECT_EQ(deviceWrite(intf_.get(), nullptr, 1), 3);
  EXPECT_EQ(deviceWrite(intf_.get(), &byte, 0), 3);
  EXPECT_EQ(deviceWrite(intf_.get(), unbuilt), 3);
  EXPECT_EQ(DeviceIO(nullptr, unbuilt, &response), 3);
  EXPECT_EQ(DeviceIO(intf_.get(), unbuilt, nullptr), 3);
  EXPECT_EQ(DeviceIO(intf_.get(), unbuilt, &response), 3);
  EXPECT_EQ(deviceRead(intf_.get(), nullptr, 16), 3);
  EXPECT_EQ(deviceRead(intf_.get(), buffer, 7), 3);
  EXPECT_EQ(USB_Read(nullptr, buffer, 8), 1);
  EXPECT_TRUE(emulator_->GetCommandLog("p1").empty());
}

}  // namespace
