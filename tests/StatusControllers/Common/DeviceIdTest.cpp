#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DeviceId.h"

namespace {

// A printer interface that answers GET_DEVICE_ID with a fixed reply and
// records each request.
class DeviceIdInterface final : public UsbInterface {
public:
  struct Request {
    uint8_t type, request;
    uint16_t value, index, length;
  };
  explicit DeviceIdInterface(std::string reply) : reply_(std::move(reply)) {}
  // A reply: the big-endian length field, then text.
  static std::string Reply(int lengthField, const std::string& text)
  {
    return std::string{static_cast<char>(lengthField >> 8), static_cast<char>(lengthField & 0xFF)} + text;
  }

  UsbStatus ControlIn(uint8_t type, uint8_t request, uint16_t value, uint16_t index, unsigned char* data,
                      uint16_t length, unsigned, int* transferred) override
  {
    requests.push_back({type, request, value, index, length});
    if (fail) return kUsbTransferError;
    const size_t n = std::min<size_t>(reply_.size(), length);
    std::copy(reply_.begin(), reply_.begin() + static_cast<long>(n), data);
    *transferred = static_cast<int>(n);
    return kUsbOk;
  }
  UsbStatus BulkWrite(const unsigned char*, int, unsigned, int*) override { return kUsbRefused; }
  UsbStatus BulkRead(unsigned char*, int, unsigned, int*) override { return kUsbRefused; }
  UsbStatus GetConfigurationValue(int*) override { return kUsbRefused; }
  UsbStatus GetInterfaceNumber(int*) override { return kUsbRefused; }

  std::vector<Request> requests;
  bool fail = false;

private:
  std::string reply_;
};

std::string Model(const std::string& id)
{
  char model[128];
  return GetModelFromDeviceId(id, model, sizeof model) ? std::string(model) : std::string("(none)");
}

}  // namespace

TEST(DeviceIdTest, ModelIsTheValueOfTheFirstModelKey)
{
  EXPECT_EQ(Model("MFG:X;CMD:Y;MDL:Z;"), "Z");
  EXPECT_EQ(Model("MFG:X;MODEL:TQ 58 ;"), "TQ 58");
  EXPECT_EQ(Model("MFG:X;MODEL:A;MDL:B;"), "A");  // the first piece with a key wins
  EXPECT_EQ(Model("mfg:x;Mdl:  Z  "), "Z");       // key at the start: trimmed both ends
  EXPECT_EQ(Model("MFG:X; mdl: Z"), " Z");        // key after white space: the rest as it stands
  EXPECT_EQ(Model("MFG:X;MDL:;"), "");
  EXPECT_EQ(Model("MFG:X;CMD:MDL:Z;"), "(none)");
  EXPECT_EQ(Model(""), "(none)");
}

TEST(DeviceIdTest, LongModelIsCutAtACharacterBoundary)
{
  char model[8];
  ASSERT_TRUE(GetModelFromDeviceId("MDL:abcdef\xC3\xA9;", model, sizeof model));
  EXPECT_STREQ(model, "abcdef");
}

TEST(DeviceIdTest, RequestCarriesConfigurationAndInterface)
{
  DeviceIdInterface intf(DeviceIdInterface::Reply(9, "MDL:Z;X"));
  std::string id;
  ASSERT_TRUE(GetDeviceId(&intf, 1, 2, &id));
  EXPECT_EQ(id, "MDL:Z;X");
  ASSERT_EQ(intf.requests.size(), 1u);
  EXPECT_EQ(intf.requests[0].type, 0xA1);
  EXPECT_EQ(intf.requests[0].request, 0);
  EXPECT_EQ(intf.requests[0].value, 0);
  EXPECT_EQ(intf.requests[0].index, 0x200);
  EXPECT_EQ(intf.requests[0].length, 256);
  ASSERT_TRUE(GetDeviceId(&intf, 0, 0, &id));
  EXPECT_EQ(intf.requests[1].value, 255);  // configuration 0 gives 255
}

TEST(DeviceIdTest, ShortOrFailedRepliesGiveNoId)
{
  std::string id;
  DeviceIdInterface two(DeviceIdInterface::Reply(2, "MDL:Z;"));
  EXPECT_FALSE(GetDeviceId(&two, 1, 0, &id));
  DeviceIdInterface oneByte(std::string(1, '\0'));
  EXPECT_FALSE(GetDeviceId(&oneByte, 1, 0, &id));
  DeviceIdInterface failing(DeviceIdInterface::Reply(8, "MDL:Z;"));
  failing.fail = true;
  EXPECT_FALSE(GetDeviceId(&failing, 1, 0, &id));
  DeviceIdInterface notUtf8(DeviceIdInterface::Reply(8, "MDL:\xFF;"));
  EXPECT_FALSE(GetDeviceId(&notUtf8, 1, 0, &id));
  // A length field beyond the reply is cut to what came.
  DeviceIdInterface overlong(DeviceIdInterface::Reply(200, "MDL:Z;"));
  ASSERT_TRUE(GetDeviceId(&overlong, 1, 0, &id));
  EXPECT_EQ(id, "MDL:Z;");
}

TEST(DeviceIdTest, LongIdIsAskedForAgainWithItsLength)
{
  const std::string text = "MFG:X;" + std::string(284, 'x') + ";MDL:Z;";  // 298 bytes
  DeviceIdInterface intf(DeviceIdInterface::Reply(300, text));
  std::string id;
  ASSERT_TRUE(GetDeviceId(&intf, 1, 0, &id));
  ASSERT_EQ(intf.requests.size(), 2u);
  EXPECT_EQ(intf.requests[0].length, 256);
  EXPECT_EQ(intf.requests[1].length, 300);
  EXPECT_EQ(id, text);
  EXPECT_EQ(Model(id), "Z");
  // 254 still fits the first reply.
  DeviceIdInterface fits(DeviceIdInterface::Reply(254, std::string(252, 'y')));
  ASSERT_TRUE(GetDeviceId(&fits, 1, 0, &id));
  EXPECT_EQ(fits.requests.size(), 1u);
}
