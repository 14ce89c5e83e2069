#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "EmulatedBusFixture.h"
#include "PhotoPrinterIF.h"
#include "SerialText.h"

namespace {

using PhotoPrinterIFTest = EmulatedBusTest;

TEST_F(PhotoPrinterIFTest, EachQuerySendsItsCommandAndReadsItsReply)
{
  char text[64];
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  EXPECT_EQ(GetSerialNo(intf_.get(), text, sizeof text), 9);
  EXPECT_STREQ(text, "TQ58-0001");
  EXPECT_EQ(GetFirmVersion(intf_.get(), text, sizeof text), 4);
  EXPECT_STREQ(text, "1.00");
  EXPECT_EQ(GetMediaSize(intf_.get(), text, sizeof text), 5);
  EXPECT_STREQ(text, "00150");
  EXPECT_EQ(GetMediaClass(intf_.get(), text, sizeof text), 4);
  EXPECT_STREQ(text, "0001");
  EXPECT_EQ(GetMediaInitial(intf_.get(), text, sizeof text), 9);
  EXPECT_STREQ(text, "000000050");
  EXPECT_EQ(GetMediaRemain(intf_.get(), text, sizeof text), 9);
  EXPECT_EQ(GetMediaRemainHalf(intf_.get(), text, sizeof text), 9);
  EXPECT_EQ(GetTotalCount(intf_.get(), text, sizeof text), 10);
  EXPECT_STREQ(text, "0000000000");
  const std::vector<std::string> expected = {"STATUS",
                                             "INFO SERIAL_NUMBER",
                                             "INFO FVER",
                                             "INFO MEDIA",
                                             "INFO MEDIA_CLASS_RFID",
                                             "INFO MQTY_DEFAULT",
                                             "INFO MQTY",
                                             "INFO RQTY",
                                             "MNT_RD COUNTER_LIFE"};
  EXPECT_EQ(emulator_->GetCommandLog("p1"), expected);
}

TEST_F(PhotoPrinterIFTest, StatusReadsTheNumberAtTheStartOfTheData)
{
  SetReply("STATUS", "00000");
  EXPECT_EQ(GetStatus(intf_.get()), 0);
  SetReply("STATUS", "1234567\r");
  EXPECT_EQ(GetStatus(intf_.get()), 1234567);
  SetReply("STATUS", "12345678");  // eight bytes without a carriage return
  EXPECT_EQ(GetStatus(intf_.get()), kStatusFailed);
  EXPECT_EQ(GetStatus(nullptr), kStatusFailed);
}

TEST_F(PhotoPrinterIFTest, TextQueriesFailWithEmptyDestination)
{
  char text[64] = "old";
  InjectFault(EmulatorFault::ZeroLength);
  EXPECT_EQ(GetFirmVersion(intf_.get(), text, sizeof text), -1);
  EXPECT_STREQ(text, "");
  SetReply("FVER", "\r");
  EXPECT_EQ(GetFirmVersion(intf_.get(), text, sizeof text), 0);  // empty, but read
  emulator_->ClearCommandLog("p1");
  EXPECT_EQ(GetMediaSize(intf_.get(), nullptr, 64), -1);
  EXPECT_EQ(GetMediaSize(nullptr, text, sizeof text), -1);
  EXPECT_EQ(GetMediaSize(intf_.get(), text, 0), -1);
  EXPECT_TRUE(emulator_->GetCommandLog("p1").empty());  // the device was not touched
}

TEST_F(PhotoPrinterIFTest, LongRepliesAreCutToTheirBuffers)
{
  SetReply("FVER", std::string(300, 'v') + "\r");
  char version[64];
  EXPECT_EQ(GetFirmVersion(intf_.get(), version, sizeof version), 63);
  char mediaClass[8];
  SetReply("MEDIA_CLASS_RFID", "000000000001\r");
  EXPECT_EQ(GetMediaClass(intf_.get(), mediaClass, sizeof mediaClass), 7);
  EXPECT_STREQ(mediaClass, "0000000");
}

TEST_F(PhotoPrinterIFTest, SerialSpacesBecomePercent20)
{
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.serial = "AB 12"; }));
  char serial[kSerialTextSize];
  EXPECT_EQ(GetSerialNo(intf_.get(), serial, sizeof serial), 7);
  EXPECT_STREQ(serial, "AB%2012");
  // A long serial is cut before a "%20" that would not fit whole.
  ASSERT_TRUE(emulator_->Update("p1", [](EmulatedPrinterState& s) { s.serial = std::string(61, 'S') + " X"; }));
  EXPECT_EQ(GetSerialNo(intf_.get(), serial, sizeof serial), 61);
  EXPECT_EQ(std::string(serial), std::string(61, 'S'));
}

TEST_F(PhotoPrinterIFTest, SerialThatCouldLeaveTheCacheFolderIsUnreadable)
{
  const std::string refused[] = {"../../etc", "A/B", ".", "..", "AB\x01", "AB\x7F", "\xC3(", "\xED\xA0\x80"};
  for (const std::string& raw : refused) {
    ASSERT_TRUE(emulator_->Update("p1", [&](EmulatedPrinterState& s) { s.serial = raw; }));
    char serial[kSerialTextSize] = "old";
    EXPECT_EQ(GetSerialNo(intf_.get(), serial, sizeof serial), -1) << raw;
    EXPECT_STREQ(serial, "") << raw;
  }
  // A NUL ends the reply text; what comes before it is the serial number.
  SetReply("SERIAL_NUMBER", std::string("AB\0/..", 6));
  char serial[kSerialTextSize];
  EXPECT_EQ(GetSerialNo(intf_.get(), serial, sizeof serial), 2);
  EXPECT_STREQ(serial, "AB");
}

TEST(SerialTextTest, UnicodeIsKeptAndACutCharacterDropped)
{
  char out[kSerialTextSize];
  EXPECT_EQ(MakeSerialText("Z\xC3\xA4 1", out, sizeof out), 7);
  EXPECT_STREQ(out, "Z\xC3\xA4%201");
  // The raw buffer ended inside a two-byte character.
  EXPECT_EQ(MakeSerialText("AB\xC3", out, sizeof out), 2);
  EXPECT_EQ(MakeSerialText(std::string(70, 'a').c_str(), out, sizeof out), 63);
  EXPECT_EQ(MakeSerialText(nullptr, out, sizeof out), -1);
}

TEST(GetMessageTest, StatusCodesMapToMessages)
{
  EXPECT_EQ(GetMessage(0), 1);
  EXPECT_EQ(GetMessage(1), 2);
  EXPECT_EQ(GetMessage(510), 4);
  EXPECT_EQ(GetMessage(1000), 100);
  EXPECT_EQ(GetMessage(2610), 207);
  EXPECT_EQ(GetMessage(3000), 210);
  EXPECT_EQ(GetMessage(99999), 6);
  EXPECT_EQ(GetMessage(2650), -1);
  EXPECT_EQ(GetMessage(42), -1);
  EXPECT_EQ(GetMessage(kStatusFailed), -1);
}

}  // namespace
